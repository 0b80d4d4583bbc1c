#pragma once
// "Product details": what a firmware container holds as a tree, why it was not read or why it
// does not suit the connected drive, and a copy of it all to the clipboard.

#include <memory>
#include <string>

#include "packages/FirmwareDetails.h"
#include "platform/ui/ControlHost.h"

namespace controls {
class CDlgItemResizer;
}

namespace packages::ui {

enum : int {
    IDC_DETAILS_TREE = 1001,
    IDC_DETAILS_COPY = 1002,
};

class CDlgDownDetails : public platform::ui::Dialog {
  public:
    // xmlDetail: the copy holds the container's XML instead of its report.
    explicit CDlgDownDetails(FirmwareDetails details, bool xmlDetail = false);
    ~CDlgDownDetails() override;

    // The tree's items, one per line, indented by two blanks per level.
    std::string TreeText() const;
    // The selected item's text.
    std::string SelectedText() const;
    // What the copy button does; false when the clipboard refused (the user was told).
    bool CopyToClipboard();

  protected:
    bool OnInitDialog() override;

  private:
    FirmwareDetails details_;
    bool xmlDetail_;
    std::unique_ptr<controls::CDlgItemResizer> resizer_;
};

}  // namespace packages::ui
