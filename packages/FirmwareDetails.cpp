#include "packages/FirmwareDetails.h"

namespace packages {

namespace {

// Remembers the first item the container puts under its top item.
class FirstItemTree : public CFirmwareTreeCtrl {
  public:
    explicit FirstItemTree(CFirmwareTreeCtrl& tree) : tree_(tree) {}
    void DeleteAllItems() override { tree_.DeleteAllItems(); }
    Item InsertItem(const std::string& text, Item parent, const foundation::CXmlNode* data) override {
        const Item item = tree_.InsertItem(text, parent, data);
        if (first == 0) first = item;
        return item;
    }
    Item first = 0;

  private:
    CFirmwareTreeCtrl& tree_;
};

}  // namespace

CFirmwareTreeCtrl::Item FillFirmwareDetailsTree(const FirmwareDetails& details, CFirmwareTreeCtrl& tree) {
    if (!details.error.empty() || details.container == nullptr) {
        tree.DeleteAllItems();
        return tree.InsertItem(details.error, 0, nullptr);
    }
    FirstItemTree recorder(tree);
    details.container->FillTree(&recorder);
    // The recorder lives only for this call.
    details.container->FillTree(nullptr);
    if (!details.incompatibility.empty()) {
        tree.InsertItem(kIncompatibilityCaption, 0, nullptr);
        tree.InsertItem(details.incompatibility, 0, nullptr);
    }
    return recorder.first;
}

std::string FirmwareDetailsCopyText(const FirmwareDetails& details, bool xmlDetail) {
    if (!details.error.empty() || details.container == nullptr) return details.error;
    std::string text;
    if (xmlDetail) {
        details.container->GetXml(text);
        if (!details.incompatibility.empty()) text += "\r\n<!-- " + details.incompatibility + " -->\r\n";
    } else {
        details.container->GetReportText(text);
        if (!details.incompatibility.empty()) text += "\r\n" + details.incompatibility + "\r\n";
    }
    return text;
}

}  // namespace packages
