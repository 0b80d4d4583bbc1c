#pragma once
// The prompt service on wx: message boxes and named application dialogs run on
// the GUI thread whichever thread asks. A worker waits for the answer; a GUI
// thread that is about to wait for its workers calls CancelPending first, so
// that a worker stuck in a question gets IDCANCEL instead of a deadlock.

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/Prompt.h"

namespace platform::ui {

class WxPromptService : public platform::PromptService {
  public:
    using Shower = std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;
    using CustomHandler = std::function<int(const std::vector<std::string>& args, int* selection)>;

    WxPromptService();
    ~WxPromptService() override;

    // Caption of boxes asked without one (the program name).
    void SetDefaultCaption(std::string caption);
    // Replaces the wx message box (tests answer without a human).
    void SetShower(Shower shower);
    void RegisterCustom(const std::string& kind, CustomHandler handler);

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    int Custom(const std::string& kind, const std::vector<std::string>& args, int* selection) override;

    // Every question waiting for the GUI thread, and every one asked until
    // Resume, is answered IDCANCEL at once.
    void CancelPending();
    void Resume();

  private:
    struct Pending;
    int RunOnGui(std::function<int()> question);
    int ShowBox(const std::string& text, const std::string& caption, unsigned flags);

    std::mutex mutex_;
    std::string defaultCaption_;
    Shower shower_;
    std::map<std::string, CustomHandler> customs_;
    std::set<std::shared_ptr<Pending>> pending_;
    bool cancelled_ = false;
};

// The wx message box with the system's flags and answers (GUI thread).
int ShowWxMessageBox(const std::string& text, const std::string& caption, unsigned flags);

// Shorthand for Prompts().MessageBox.
int MessageBox(const std::string& text, const std::string& caption = "", unsigned flags = platform::MB_OK);

}  // namespace platform::ui
