// The program: start-up, the main frame, and the end.
#include <atomic>
#include <memory>

#include <wx/display.h>
#include <wx/evtloop.h>
#include <wx/frame.h>
#include <wx/settings.h>
#include <wx/timer.h>

#include "app/CmdLineInfo.h"
#include "app/DlgMaintenanceWindows.h"
#include "app/MainFrame.h"
#include "app/MessageDialogs.h"
#include "app/Startup.h"
#include "foundation/Authorizations.h"
#include "foundation/BrandList.h"
#include "foundation/CloudSearch.h"
#include "foundation/LogFile.h"
#include "foundation/ProgramFolders.h"
#include "foundation/ProgramSwitches.h"
#include "packages/ui/CloudSearchWindow.h"
#include "packages/ui/ConfigFileDialogs.h"
#include "packages/ui/UserFirmwareDlg.h"
#include "platform/Folders.h"
#include "platform/Registry.h"
#include "platform/TerminationSignal.h"
#include "platform/ui/BusyWindow.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WxPrompts.h"

namespace app {
namespace {

platform::ui::Rect VirtualScreen() {
    wxRect all;
    for (unsigned i = 0; i < wxDisplay::GetCount(); ++i) all.Union(wxDisplay(i).GetGeometry());
    return platform::ui::Rect::FromXYWH(all.x, all.y, all.width, all.height);
}

class CPelmoraApp : public platform::ui::GuiApp {
  protected:
    bool OnGuiInit() override { return InitInstance(); }

  public:
    int OnExit() override {
        ExitInstance();
        return GuiApp::OnExit();
    }

    // The Ctrl + right double-click anywhere in the program.
    int FilterEvent(wxEvent& event) override {
        if (event.GetEventType() == wxEVT_RIGHT_DCLICK) {
            const auto& mouse = static_cast<wxMouseEvent&>(event);
            if (CMainFrame* frame = CMainFrame::Instance())
                RunDiagnosticGesture(frame->ConnectionEngine(), mouse.ControlDown(), mouse.ShiftDown());
        }
        return Event_Skip;
    }

  private:
    bool InitInstance() {
        const wxColour face = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE);
        ProgramState& state = Program();
        state.dialogBackground = face.Red() | (face.Green() << 8) | (face.Blue() << 16);

        // A termination signal closes the frame the way its close box does; one that comes
        // before the frame exists closes it as soon as it does.
        terminate_.Start([this] {
            closeRequested_ = true;
            wxTheApp->CallAfter([this] { CloseOutOfDialogs(); });
        });
        closeTimer_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { CloseOutOfDialogs(); });
        foundation::InitProgramFolders();
        prompts_.SetDefaultCaption(foundation::kProgramName);
        platform::SetPromptService(&prompts_);
        packages::ui::RegisterConfigFileDialogs(prompts_);
        RegisterMessageDialogs(prompts_);
        // The connect dialog's "Additional firmwares" button.
        packages::ui::RegisterUserFirmwareDialog(prompts_);
        packages::ui::InstallFirmwareDownloadButtons();

        foundation::CAuthorizations& users = foundation::GetAuthorizations();
        users.Load();
        CCmdLineInfo cmd;
        cmd.ParseCommandLine(static_cast<int>(args_.size()), argv_.data());
        platform::Registry& registry = platform::Registry::Instance();
        ApplyAccessLevel(users, registry, foundation::GetProductKey(), cmd);
        ApplyCommandLine(cmd, state);
        ReadDiagnosticSwitches(registry, foundation::GetProductKey());
        foundation::GetBrandList().LoadConfigurationFolders();
        ReadProgramVersionInfo();
        OpenDebugLog(foundation::DebugLog(), platform::TempFolder());

        frame_ = std::make_unique<CMainFrame>(registry, VirtualScreen());
        if (!frame_->CreateFrame()) return false;
        frame_->UseProgramWindows();
        // ---- maintenance dialogs ----
        RegisterMaintenanceDialogs(prompts_, *frame_->Drive());
        SetTopWindow(frame_->GetFrame());
        frameHandle_ = frame_->Handle();
        cloudSearch_ = std::make_unique<packages::ui::CCloudSearchWindow>(frame_->GetFrame());
        foundation::SetCloudSearchProgress(cloudSearch_.get());
        if (closeRequested_) frame_->Post(platform::ui::WM_CLOSE);
        return true;
    }

    // A dialog the window thread waits in (the connect dialog at start) ends first, as if
    // cancelled; the frame closes once the window thread is back in its main loop, never from
    // inside a dialog's loop with the dialog's caller still on the stack.
    void CloseOutOfDialogs() {
        const wxEventLoopBase* loop = wxEventLoopBase::GetActive();
        if (loop != nullptr && !loop->IsMain()) {
            platform::ui::EndModalDialogs();
            closeTimer_.StartOnce(100);
            return;
        }
        if (const platform::WindowHandle frame = frameHandle_.load())
            platform::PostMessage(frame, platform::ui::WM_CLOSE, 0, 0);
    }

    void ExitInstance() {
        terminate_.Stop();
        frameHandle_ = 0;
        foundation::SetCloudSearchProgress(nullptr);
        cloudSearch_.reset();
        frame_.reset();
        if (foundation::g_LogDebug) foundation::DebugLog().Close();
        platform::SetPromptService(nullptr);
    }

  public:
    bool Initialize(int& argcRef, wxChar** argvRef) override {
        if (!GuiApp::Initialize(argcRef, argvRef)) return false;
        // The tokens as UTF-8 for the command-line parser.
        for (int i = 0; i < argcRef; ++i) args_.push_back(wxString(argvRef[i]).utf8_string());
        for (const std::string& a : args_) argv_.push_back(a.c_str());
        argv_.push_back(nullptr);
        return true;
    }

  private:
    platform::ui::WxPromptService prompts_;
    platform::TerminationWatch terminate_;
    std::unique_ptr<CMainFrame> frame_;
    wxTimer closeTimer_;
    std::unique_ptr<packages::ui::CCloudSearchWindow> cloudSearch_;
    std::atomic<platform::WindowHandle> frameHandle_{0};
    std::atomic<bool> closeRequested_{false};
    std::vector<std::string> args_;
    std::vector<const char*> argv_;
};

}  // namespace
}  // namespace app

wxIMPLEMENT_APP(app::CPelmoraApp);
