#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace corvanta {

// Dialogs that record which were shown and which were brought to the front. While a dialog "is open" (during
// ShowX) the test's while_open runs, as events delivered in the dialog's modal loop would.
class FakeDialogs : public Dialogs {
  public:
    void ShowProperties() override { Show("Properties"); }
    void ShowAbout() override { Show("About"); }
    void ShowOutputSettings() override { Show("OutputSettings"); }
    bool BringOpenDialogToFront() override;

    std::vector<std::string> shown;
    std::vector<std::string> brought_to_front;
    std::function<void()> while_open;

  private:
    void Show(const std::string& name);
    std::string open_;
};

}  // namespace corvanta
