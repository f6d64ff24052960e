#pragma once

#include <cstdint>
#include <memory>

#include "common/text.h"

namespace corvanta {

// A picture object: an icon or image known by its handle. Held by shared reference, so that "the same
// picture" is the same object; a null PictureRef is "nothing", while an empty picture has handle 0.
class Picture {
  public:
    virtual ~Picture() = default;
    virtual uintptr_t Handle() const = 0;
};
using PictureRef = std::shared_ptr<Picture>;

namespace msgbox {
constexpr uint32_t kOkOnly = 0x00;
constexpr uint32_t kIconExclamation = 0x30;
constexpr int kResultOk = 1;
}  // namespace msgbox

// What a form needs of its host: its icon, hiding, message boxes, unloading.
class FormHost {
  public:
    virtual ~FormHost() = default;

    // Icon resource `id` of the program, as a picture.
    virtual PictureRef LoadResIcon(int id) = 0;

    virtual PictureRef Icon() const = 0;
    virtual void SetIcon(PictureRef icon) = 0;

    virtual void Hide() = 0;

    // A modal message box; style is a combination of the msgbox flags. Returns the button chosen.
    virtual int MsgBox(TextView prompt, uint32_t style, TextView title) = 0;
};

// Named values saved with a form's design for a control placed on it.
class PropertyBag {
  public:
    virtual ~PropertyBag() = default;
    virtual PictureRef ReadPicture(TextView name, PictureRef default_value) = 0;
    virtual Text ReadText(TextView name, TextView default_value) = 0;
    virtual bool ReadBool(TextView name, bool default_value) = 0;
    // A value equal to its default is left out of the store.
    virtual void WritePicture(TextView name, PictureRef value, PictureRef default_value) = 0;
    virtual void WriteText(TextView name, TextView value, TextView default_value) = 0;
    virtual void WriteBool(TextView name, bool value, bool default_value) = 0;
};

// What a user control needs of its host: its own window, ambient properties, size, the screen's scale.
// Sizes are in twips.
class ControlHost {
  public:
    virtual ~ControlHost() = default;

    // False while the control sits in a form designer, true when the hosting program runs.
    virtual bool AmbientUserMode() const = 0;

    // The control's own window: the one the shell sends the tray callback message to.
    virtual uintptr_t hWnd() const = 0;

    virtual void PropertyChanged(TextView name) = 0;

    // Setting a size makes the host call the control's resize handler again (re-entrantly).
    virtual float Height() const = 0;
    virtual float Width() const = 0;
    virtual void SetHeight(float twips) = 0;
    virtual void SetWidth(float twips) = 0;

    // The size of the control's face image.
    virtual float Image1Height() const = 0;
    virtual float Image1Width() const = 0;

    // 15 on a 96-dpi screen.
    virtual float TwipsPerPixelX() const = 0;

    // A picture object that holds no image (handle 0).
    virtual PictureRef LoadEmptyPicture() = 0;
};

// The handlers of a user control that its host calls: when the control is placed on it, and as the messages of
// the control's window arrive. Sizes and positions are in twips.
class ControlEvents {
  public:
    virtual ~ControlEvents() = default;

    virtual void UserControl_ReadProperties(PropertyBag& PropBag) = 0;
    virtual void UserControl_Resize() = 0;
    virtual void UserControl_MouseMove(int16_t Button, int16_t Shift, float X, float Y) = 0;
    // The shell's "TaskbarCreated" broadcast: Explorer (re)started and holds none of the old icons.
    virtual void OnTaskbarCreated() = 0;
};

}  // namespace corvanta
