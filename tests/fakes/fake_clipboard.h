#pragma once

#include "platform/clipboard.h"

namespace corvanta {

// The clipboard's text in memory; a test can make another program hold it open.
class FakeClipboard : public Clipboard {
  public:
    void SetText(TextView value) override {
        if (held_by_another_program) {
            throw Error(u"Opening the clipboard: Access is denied.");
        }
        text = value;
    }
    Text GetText() const override { return text; }

    Text text;
    bool held_by_another_program = false;
};

}  // namespace corvanta
