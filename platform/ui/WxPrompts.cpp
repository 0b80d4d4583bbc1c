#include "platform/ui/WxPrompts.h"

#include <wx/app.h>
#include <wx/msgdlg.h>

#include "platform/ui/Gui.h"

namespace platform::ui {

struct WxPromptService::Pending {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool cancelled = false;
    int result = platform::IDCANCEL;

    void Finish(int answer, bool cancel) {
        std::lock_guard<std::mutex> lock(mutex);
        if (finished) return;
        finished = true;
        cancelled = cancel;
        result = answer;
        done.notify_all();
    }
};

WxPromptService::WxPromptService() = default;

WxPromptService::~WxPromptService() {
    CancelPending();
    if (&platform::Prompts() == this) platform::SetPromptService(nullptr);
}

void WxPromptService::SetDefaultCaption(std::string caption) {
    std::lock_guard<std::mutex> lock(mutex_);
    defaultCaption_ = std::move(caption);
}

void WxPromptService::SetShower(Shower shower) {
    std::lock_guard<std::mutex> lock(mutex_);
    shower_ = std::move(shower);
}

void WxPromptService::RegisterCustom(const std::string& kind, CustomHandler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    customs_[kind] = std::move(handler);
}

void WxPromptService::CancelPending() {
    std::set<std::shared_ptr<Pending>> waiting;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
        waiting.swap(pending_);
    }
    for (const auto& p : waiting) p->Finish(platform::IDCANCEL, true);
}

void WxPromptService::Resume() {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = false;
}

int WxPromptService::RunOnGui(std::function<int()> question) {
    if (IsGuiThread()) return question();
    auto pending = std::make_shared<Pending>();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cancelled_ || wxTheApp == nullptr) return platform::IDCANCEL;
        pending_.insert(pending);
    }
    wxTheApp->CallAfter([this, pending, question] {
        {
            std::lock_guard<std::mutex> lock(pending->mutex);
            if (pending->finished) return;  // cancelled: the service may be gone
        }
        const int answer = question();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            pending_.erase(pending);
        }
        pending->Finish(answer, false);
    });
    std::unique_lock<std::mutex> lock(pending->mutex);
    pending->done.wait(lock, [&] { return pending->finished; });
    return pending->result;
}

int WxPromptService::ShowBox(const std::string& text, const std::string& caption, unsigned flags) {
    Shower shower;
    std::string title = caption;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        shower = shower_;
        if (title.empty()) title = defaultCaption_;
    }
    return shower ? shower(text, title, flags) : ShowWxMessageBox(text, title, flags);
}

int WxPromptService::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    return RunOnGui([this, text, caption, flags] { return ShowBox(text, caption, flags); });
}

int WxPromptService::Custom(const std::string& kind, const std::vector<std::string>& args, int* selection) {
    CustomHandler handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = customs_.find(kind);
        if (it == customs_.end()) return platform::IDCANCEL;
        handler = it->second;
    }
    // Shared: a cancelled worker may return while the dialog is still open.
    auto chosen = std::make_shared<int>(selection != nullptr ? *selection : -1);
    const int result = RunOnGui([handler, args, chosen] { return handler(args, chosen.get()); });
    if (selection != nullptr) *selection = *chosen;
    return result;
}

int ShowWxMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    long style = 0;
    const unsigned type = flags & platform::MB_TYPEMASK;
    const unsigned def = flags & platform::MB_DEFMASK;
    switch (type) {
        case platform::MB_OKCANCEL:
            style = wxOK | wxCANCEL;
            break;
        case platform::MB_YESNO:
            style = wxYES_NO;
            break;
        case platform::MB_YESNOCANCEL:
            style = wxYES_NO | wxCANCEL;
            break;
        case platform::MB_ABORTRETRYIGNORE:
            style = wxYES_NO | wxCANCEL;
            break;
        case platform::MB_RETRYCANCEL:
            style = wxOK | wxCANCEL;
            break;
        default:
            style = wxOK;
            break;
    }
    if (def == platform::MB_DEFBUTTON2)
        style |= (type == platform::MB_OKCANCEL || type == platform::MB_RETRYCANCEL) ? wxCANCEL_DEFAULT
                                                                                     : wxNO_DEFAULT;
    if (def == platform::MB_DEFBUTTON3) style |= wxCANCEL_DEFAULT;
    switch (flags & platform::MB_ICONMASK) {
        case platform::MB_ICONERROR:
            style |= wxICON_ERROR;
            break;
        case platform::MB_ICONQUESTION:
            style |= wxICON_QUESTION;
            break;
        case platform::MB_ICONWARNING:
            style |= wxICON_WARNING;
            break;
        case platform::MB_ICONINFORMATION:
            style |= wxICON_INFORMATION;
            break;
        default:
            break;
    }
    wxMessageDialog box(wxTheApp != nullptr ? wxTheApp->GetTopWindow() : nullptr, wxString::FromUTF8(text),
                        wxString::FromUTF8(caption), style);
    if (type == platform::MB_ABORTRETRYIGNORE) box.SetYesNoCancelLabels("&Abort", "&Retry", "&Ignore");
    if (type == platform::MB_RETRYCANCEL) box.SetOKLabel("&Retry");
    const int answer = box.ShowModal();
    switch (type) {
        case platform::MB_ABORTRETRYIGNORE:
            return answer == wxID_YES  ? platform::IDABORT
                   : answer == wxID_NO ? platform::IDRETRY
                                       : platform::IDIGNORE;
        case platform::MB_RETRYCANCEL:
            return answer == wxID_OK ? platform::IDRETRY : platform::IDCANCEL;
        default:
            break;
    }
    switch (answer) {
        case wxID_OK:
            return platform::IDOK;
        case wxID_YES:
            return platform::IDYES;
        case wxID_NO:
            return platform::IDNO;
        default:
            return platform::IDCANCEL;
    }
}

int MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    return platform::Prompts().MessageBox(text, caption, flags);
}

}  // namespace platform::ui
