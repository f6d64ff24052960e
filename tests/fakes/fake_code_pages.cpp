#include "fakes/fake_code_pages.h"

#include <string>

#include "fakes/fake_ansi_code_page.h"

namespace corvanta {

std::unique_ptr<AnsiCodePage> FakeCodePages::Open(uint32_t code_page) const {
    if (code_page != 1252 && code_page != 932) {
        throw Error(AsciiText("code page " + std::to_string(code_page) + " is not installed"));
    }
    auto converter = std::make_unique<FakeAnsiCodePage>();
    converter->double_byte = code_page == 932;
    return converter;
}

std::vector<CodePages::Installed> FakeCodePages::List() const {
    return {{932, u"932 (Japanese)"}, {1252, u"1252 (Latin 1)"}};
}

}  // namespace corvanta
