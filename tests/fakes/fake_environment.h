#pragma once

#include <map>
#include <optional>

#include "common/text.h"
#include "platform/environment.h"

namespace corvanta {

// Variables in a map; names compare as Windows compares them, without regard to ASCII case.
class FakeEnvironment : public Environment {
  public:
    std::optional<Text> Variable(TextView name) const override {
        const auto found = variables.find(Folded(name));
        return found == variables.end() ? std::nullopt : std::optional<Text>(found->second);
    }

    void Set(TextView name, TextView value) { variables[Folded(name)] = Text(value); }

    std::map<Text, Text> variables;

  private:
    static Text Folded(TextView name) {
        Text folded;
        for (char16_t unit : name) {
            folded.push_back(AsciiLower(unit));
        }
        return folded;
    }
};

}  // namespace corvanta
