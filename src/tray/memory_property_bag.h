#pragma once

#include <map>
#include <variant>

#include "platform/form_host.h"

namespace corvanta {

// Saved control properties kept in memory. Like a form's saved design, it leaves out a value equal to its
// default, so reading a value never written, or written as its default, gives the reader's default.
class MemoryPropertyBag : public PropertyBag {
  public:
    using Value = std::variant<PictureRef, Text, bool>;

    PictureRef ReadPicture(TextView name, PictureRef default_value) override;
    Text ReadText(TextView name, TextView default_value) override;
    bool ReadBool(TextView name, bool default_value) override;
    void WritePicture(TextView name, PictureRef value, PictureRef default_value) override;
    void WriteText(TextView name, TextView value, TextView default_value) override;
    void WriteBool(TextView name, bool value, bool default_value) override;

    // What is stored, by name.
    const std::map<Text, Value, std::less<>>& Values() const { return values_; }

  private:
    template <typename T>
    const T* Find(TextView name) const;
    void Store(TextView name, Value value, bool is_default);

    std::map<Text, Value, std::less<>> values_;
};

}  // namespace corvanta
