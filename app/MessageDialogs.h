#pragma once
// The program's message and wait dialogs: a question with "Don't show this message again", a
// message with details, the strong warning that must be acknowledged, the motor-change
// question, the forced system command question, a list to pick from, and the wait window.

#include <string>
#include <vector>

#include "platform/ui/ControlHost.h"

namespace platform::ui {
class WxPromptService;
}

namespace app {

// The drive object's questions and error reports reach these dialogs through the prompt service
// (kinds "MessageDialog" and "MessageDetails").
void RegisterMessageDialogs(platform::ui::WxPromptService& prompts);

// Images of the dialogs (PNG resources).
constexpr int kWarningImage = 2040;
constexpr int kInformationImage = 2041;
constexpr int kErrorImage = 2042;

// Control ids shared by the message dialogs.
enum : int {
    IDC_MSG_PICTURE = 1000,
    IDC_MSG_TEXT = 1001,
    IDC_MSG_DETAILS_TEXT = 1002,
    IDC_MSG_DONT_SHOW = 1003,
    IDC_MSG_DETAILS = 1004,
    IDC_MSG_CLOSE_DETAILS = 1005,
    IDC_MSG_ACKNOWLEDGE = 1006,
    IDC_MSG_WRITE_ONLY = 1007,
    IDC_MSG_HELP = 1008,
    IDC_MSG_TITLE_LINE = 1009,
    IDC_MSG_LIST = 1010,
    IDC_MSG_PROMPT = 1011,
    IDC_OP_LABEL = 1012,
    IDC_OP_PROGRESS = 1013,
};

// Results of CdlgMessageBox and CdlgMessageStrong.
enum : int {
    kMsgOk = 4,
    kMsgOkTicked = 5,
    kMsgYes = 6,
    kMsgYesTicked = 7,
    kMsgNo = 8,
    kMsgNoTicked = 9,
};

// The code of a CdlgMessageBox button: one higher when the box is ticked.
int MessageBoxCode(int button, bool ticked);

// What a caller does with a CdlgMessageBox code: go on (6, 7, 4, 5) and whether to suppress
// the question from now on (7, 9, 5).
struct MessageBoxAnswer {
    bool proceed = false;
    bool suppress = false;
};
MessageBoxAnswer InterpretMessageBoxCode(int code);

class CdlgMessageBox : public platform::ui::Dialog {
  public:
    // buttons 2: Yes and No; any other value: Ok alone.
    explicit CdlgMessageBox(int buttons);
    void SetMessage(const std::string& text, const std::string& caption, bool checked);
    bool IsChecked() const { return checked_; }

  protected:
    bool OnInitDialog() override;
    void DoDataExchange(platform::ui::DataExchange& dx) override;
    void OnOK() override;
    void OnCancel() override;

  private:
    void End(int button);
    int buttons_;
    std::string text_;
    std::string caption_;
    bool checked_ = false;
};

// The state of the details area, apart from the window: collapsed it reaches 12 pixels below
// the "Details" button, expanded it has its full height.
class DetailsToggle {
  public:
    void Measure(int collapsedBottom, int windowTop, int fullHeight);
    // Returns the new window height.
    int Toggle();
    bool Expanded() const { return expanded_; }
    const char* ButtonText() const { return expanded_ ? "Close details" : "Details"; }
    int CollapsedHeight() const { return collapsedHeight_; }
    int FullHeight() const { return fullHeight_; }

  private:
    bool expanded_ = true;
    int collapsedHeight_ = 0;
    int fullHeight_ = 0;
};

class CdlgMessageDetails : public platform::ui::Dialog {
  public:
    CdlgMessageDetails(const std::string& caption, const std::string& text, const std::string& details);
    const DetailsToggle& Toggle() const { return toggle_; }
    // The "Details" button.
    void OnDetails();

  protected:
    bool OnInitDialog() override;

  private:
    std::string caption_;
    std::string text_;
    std::string details_;
    DetailsToggle toggle_;
};

class CdlgMessageStrong : public platform::ui::Dialog {
  public:
    CdlgMessageStrong(const std::string& caption, const std::string& text, const std::string& details,
                      int buttons);
    wxWindow* Label() const { return label_; }
    // The height the window was last given (the toolkit applies it later).
    int Height() const { return height_; }
    int HalfHeight() const { return halfHeight_; }

  protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

  private:
    void ShowDetails(bool show);
    std::string caption_;
    std::string text_;
    std::string details_;
    int buttons_;
    int halfHeight_ = 0;
    int height_ = 0;
    wxWindow* label_ = nullptr;
};

class CDlgMessageNB : public platform::ui::Dialog {
  public:
    CDlgMessageNB();
    std::string text =
        "After changing of the selected motor it is recommended to recalculate all parameters of the drive. "
        "Proceed?";
    int imageType = 48;

  protected:
    bool OnInitDialog() override;
};

class CDlgMsgSafePlc : public platform::ui::Dialog {
  public:
    CDlgMsgSafePlc(const std::string& titleLine, const std::string& message);
    std::string helpFile = "Tarvik.chm";

  protected:
    bool OnInitDialog() override;

  private:
    std::string title_;
    std::string message_;
};

class CDlgListSelect : public platform::ui::Dialog {
  public:
    CDlgListSelect();
    const std::vector<std::string>* items = nullptr;  // not owned
    std::string caption;
    std::string prompt;
    int selected = -1;

  protected:
    bool OnInitDialog() override;
    void OnOK() override;

  private:
    int current_ = -1;
};

// The modeless wait window: progress and finish come as kWaitDialogMessage.
class CDlgOp : public platform::ui::Dialog {
  public:
    explicit CDlgOp(const std::string& title);
    std::string label = "Processing...";
    int Position() const;
    // True once the dialog ended (finished: IDOK; aborted: IDCANCEL).
    bool Ended() const { return ended_; }
    int EndResult() const { return endResult_; }

  protected:
    bool OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override;

  private:
    void Finish(int result);
    std::string title_;
    bool ended_ = false;
    int endResult_ = 0;
};

}  // namespace app
