#pragma once

#include <vector>

#include "platform/keystroke_sender.h"

namespace corvanta {

// Records every text handed over, in order. Counts one event per UTF-16 unit; a refusing sender accepts none
// (the text is still recorded as handed over).
class FakeKeystrokeSender : public KeystrokeSender {
  public:
    SendResult SendKeys(TextView text) override;
    void SetKeyMode(KeyMode mode) override { key_mode = mode; }

    std::vector<Text> texts;
    KeyMode key_mode = KeyMode::kLayout;
    bool refuse = false;
};

}  // namespace corvanta
