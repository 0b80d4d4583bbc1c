#pragma once
// Property sheets: pages built from control lists under a tab strip, with OK,
// Cancel, Apply and Help. A page is created when first shown; it is asked
// before it is left (kill-active) and may refuse; Apply and OK go to every
// page that was created, in page order.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ControlHost.h"
#include "platform/ui/TabCtrl.h"

class wxPanel;

namespace platform::ui {

class PropertySheet;

class PropertyPage : public ControlHost {
  public:
    PropertyPage(std::string title, std::vector<ControlSpec> controls);

    const std::string& Title() const { return title_; }
    PropertySheet* Sheet() const { return sheet_; }
    bool IsCreated() const { return IsAlive(); }
    // A changed page enables the sheet's Apply button.
    void SetModified(bool modified = true);
    bool IsModified() const { return modified_; }

    // Called as the page becomes the active one; false keeps the old page.
    virtual bool OnSetActive();
    // Called before the page is left or the sheet applies; false refuses.
    virtual bool OnKillActive();
    // Called for every created page on Apply and OK; false stops there.
    virtual bool OnApply();
    virtual void OnOK() {}
    virtual void OnCancel() {}
    virtual void OnReset() { OnCancel(); }
    virtual bool OnQueryCancel() { return true; }
    virtual void OnHelp() {}

  private:
    friend class PropertySheet;
    bool CreatePage(PropertySheet* sheet, wxWindow* parent);

    std::string title_;
    PropertySheet* sheet_ = nullptr;
    bool modified_ = false;
    bool firstSetActive_ = true;
};

class PropertySheet : public Window {
  public:
    // Buttons of the sheet; their ids are those of the result codes.
    enum : int { kApplyId = 0x3021, kHelpId = 9 };
    struct Options {
        bool apply = true;
        bool help = false;
    };

    PropertySheet(std::string caption, Options options);
    explicit PropertySheet(std::string caption) : PropertySheet(std::move(caption), Options{}) {}
    ~PropertySheet() override;

    // Pages are owned by the caller and must outlive the sheet's window.
    void AddPage(PropertyPage* page);
    // A tab strip of the caller's own kind (before the sheet is created).
    void SetTabCtrl(TabCtrl* tab);
    TabCtrl* GetTabControl() const { return tab_; }

    int DoModal(wxWindow* parent = nullptr);
    bool Create(wxWindow* parent = nullptr);  // modeless

    int GetPageCount() const { return static_cast<int>(pages_.size()); }
    PropertyPage* GetPage(int index) const;
    int GetActiveIndex() const { return active_; }
    PropertyPage* GetActivePage() const { return GetPage(active_); }
    // As the user's choice of a tab: the active page may refuse.
    bool SetActivePage(int index);

    // The buttons, as the user presses them. OK and Apply return false when a
    // page refused; Cancel when the active page refused to be cancelled.
    bool PressOK();
    bool PressCancel();
    bool PressApply();
    void PressHelp();
    bool IsApplyEnabled() const;

    void PageModified();
    void EndDialog(int result);

  private:
    bool Build(wxWindow* parent);
    bool Activate(int index);
    bool ApplyAll();
    void LayoutPages();

    std::string caption_;
    Options options_;
    std::vector<PropertyPage*> pages_;
    TabCtrl* tab_ = nullptr;
    wxPanel* pageArea_ = nullptr;
    int active_ = -1;
    int startPage_ = 0;
    bool applyEnabled_ = false;
};

}  // namespace platform::ui
