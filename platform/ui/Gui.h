#pragma once
// The GUI thread: the wx application object, the message loop, and the hook that
// delivers platform messages posted from any thread on it.

#include <functional>

#include <wx/app.h>

namespace platform::ui {

// The application object. Programs derive from it and override OnGuiInit;
// tests create one through StartGui.
class GuiApp : public wxApp {
  public:
    bool OnInit() override;
    int OnExit() override;

  protected:
    virtual bool OnGuiInit() { return true; }
};

// Starts wx without running its main loop (tests, tools). Safe to call twice.
bool StartGui();
// Undoes StartGui; windows still alive are destroyed first.
void StopGui();

bool IsGuiThread();

// Runs the message loop until pred() holds or timeoutMs passes (wall clock,
// generous values only). Returns pred()'s last answer.
bool RunUntil(const std::function<bool()>& pred, int timeoutMs);
// Dispatches whatever is pending now, without waiting.
void ProcessPending();

// Routes platform::PostMessage wake-ups to the GUI thread: called by GuiApp.
void InstallMessageWakeHook();
void RemoveMessageWakeHook();

}  // namespace platform::ui
