#include "fakes/fake_keystroke_sender.h"

namespace corvanta {

SendResult FakeKeystrokeSender::SendKeys(TextView text) {
    texts.emplace_back(text);
    return {text.size(), refuse ? 0 : text.size()};
}

}  // namespace corvanta
