#pragma once

#include <vector>

#include "platform/keystroke_sender.h"

namespace corvanta {

// Records every text handed over, in order. Counts one event per UTF-16 unit; a refusing sender accepts none
// (the text is still recorded as handed over).
class FakeKeystrokeSender : public KeystrokeSender {
  public:
    SendResult SendKeys(TextView text) override;

    std::vector<Text> texts;
    bool refuse = false;
};

}  // namespace corvanta
