#pragma once
// Windows made of numbered controls (dialogs, property pages): controls under
// their ids, command notifications by id, and data exchange both ways.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Controls.h"
#include "platform/ui/Window.h"

class wxWindow;
class wxCommandEvent;

namespace platform::ui {

class ControlHost;

// What a control tells its window.
enum class Notify { Clicked, Changed, SelChanged, DoubleClicked };

// Moves values between members and controls: UpdateData(false) fills the
// controls, UpdateData(true) reads them back and stops at the first value
// that does not convert (the user is told, the control gets the focus).
class DataExchange {
  public:
    DataExchange(ControlHost& host, bool saving) : host_(host), saving_(saving) {}
    bool Saving() const { return saving_; }
    bool Failed() const { return failed_; }

    void Text(int id, std::string& value);
    void Int(int id, int& value);
    void UInt(int id, unsigned& value);
    void Double(int id, double& value);
    void Check(int id, bool& value);
    void Check(int id, int& value);       // 0, 1, or 2 for a three-state box
    void Radio(int firstId, int& index);  // -1: none of the group
    void ListIndex(int id, int& index);   // combo, list box
    void ComboText(int id, std::string& value);
    void Position(int id, int& value);  // slider, spin, progress
    // Range checks after the value was read (saving only).
    void MinMax(int id, int value, int minimum, int maximum);
    void MinMax(int id, double value, double minimum, double maximum);
    void MaxChars(int id, const std::string& value, size_t maximum);

  private:
    void Fail(int id, const std::string& message);
    ControlHost& host_;
    bool saving_;
    bool failed_ = false;
};

class ControlHost : public Window {
  public:
    explicit ControlHost(std::vector<ControlSpec> controls);

    wxWindow* Item(int id) const;
    template <class T>
    T* ItemAs(int id) const {
        return dynamic_cast<T*>(Item(id));
    }
    const std::vector<ControlSpec>& Controls() const { return specs_; }

    bool SetItemText(int id, const std::string& text);
    std::string GetItemText(int id) const;
    bool SetItemInt(int id, long value);
    std::optional<long> GetItemInt(int id) const;
    // Check boxes and radio buttons: 0 clear, 1 set, 2 indeterminate.
    bool CheckItem(int id, int state);
    int IsItemChecked(int id) const;
    bool EnableItem(int id, bool enable);
    bool IsItemEnabled(int id) const;
    bool ShowItem(int id, bool show);
    bool IsItemShown(int id) const;
    bool FocusItem(int id);
    // The radio buttons of the group that starts at firstId, in order.
    std::vector<int> RadioGroup(int firstId) const;

    // Acts as if the user clicked the control (buttons, check boxes, radios).
    bool ClickItem(int id);

    void OnCommand(int id, Notify what, std::function<void()> handler);

    bool UpdateData(bool save);

  protected:
    virtual void DoDataExchange(DataExchange&) {}
    // Called once the controls exist; the default fills them from the members.
    virtual bool OnInitDialog();
    // Builds the controls into content and binds their notifications.
    void BuildControls(wxWindow* content);
    void RouteCommand(int id, Notify what);
    void OnDestroy() override { items_.clear(); }

  private:
    void OnWxCommand(wxCommandEvent& event);

    std::vector<ControlSpec> specs_;
    std::map<int, wxWindow*> items_;
    std::map<std::pair<int, Notify>, std::function<void()>> commands_;
};

struct DialogSpec {
    std::string title;
    std::optional<DluRect> size;  // cx, cy of the client area in dialog units
    std::vector<ControlSpec> controls;
    bool resizable = false;
};

class Dialog : public ControlHost {
  public:
    explicit Dialog(DialogSpec spec);
    ~Dialog() override;

    // Runs the dialog modally; returns the EndDialog result (IDOK, IDCANCEL...).
    int DoModal(wxWindow* parent = nullptr);
    // Creates and shows the dialog modeless.
    bool Create(wxWindow* parent = nullptr);
    void EndDialog(int result);
    bool IsModal() const;
    const std::string& Title() const { return title_; }

  protected:
    virtual void OnOK();
    virtual void OnCancel();

  private:
    bool Build(wxWindow* parent);

    std::string title_;
    std::optional<DluRect> size_;
    bool resizable_;
    int result_ = 0;
};

}  // namespace platform::ui
