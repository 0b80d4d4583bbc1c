#include "platform/ui/Gui.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/thread.h>
#include <wx/window.h>

#include "platform/Messages.h"

namespace platform::ui {
namespace {

// Coalesces wake-ups: one pending CallAfter is enough to drain the queue, and a
// worker posting thousands of messages must not flood the wx event queue.
std::atomic<bool> g_pumpScheduled{false};
std::mutex g_hookMutex;
bool g_hookInstalled = false;
bool g_startedByUs = false;

class TestApp : public GuiApp {};

}  // namespace

bool GuiApp::OnInit() {
    InstallMessageWakeHook();
    return OnGuiInit();
}

int GuiApp::OnExit() {
    RemoveMessageWakeHook();
    return wxApp::OnExit();
}

void InstallMessageWakeHook() {
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        g_hookInstalled = true;
    }
    platform::SetWakeHook([] {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        if (!g_hookInstalled || wxTheApp == nullptr) return;
        if (g_pumpScheduled.exchange(true)) return;
        wxTheApp->CallAfter([] {
            g_pumpScheduled = false;
            platform::PumpMessages();
        });
    });
    // Messages posted before the hook existed still need a pump.
    if (wxTheApp != nullptr) wxTheApp->CallAfter([] { platform::PumpMessages(); });
}

void RemoveMessageWakeHook() {
    platform::SetWakeHook(nullptr);
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_hookInstalled = false;
}

bool StartGui() {
    if (wxTheApp != nullptr) return true;
    static int argc = 1;
    static char arg0[] = "tunova";
    static char* argv[] = {arg0, nullptr};
    wxApp::SetInstance(new TestApp);
    if (!wxEntryStart(argc, argv)) return false;
    g_startedByUs = true;
    return wxTheApp->CallOnInit();
}

void StopGui() {
    if (!g_startedByUs) return;
    for (wxWindow* w : wxTopLevelWindows) w->Destroy();
    ProcessPending();
    wxTheApp->OnExit();
    wxEntryCleanup();
    g_startedByUs = false;
}

bool IsGuiThread() {
    return wxThread::IsMain();
}

bool RunUntil(const std::function<bool()>& pred, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    wxEventLoopBase* active = wxEventLoopBase::GetActive();
    std::unique_ptr<wxGUIEventLoop> own;
    std::unique_ptr<wxEventLoopActivator> activator;
    if (active == nullptr) {
        own = std::make_unique<wxGUIEventLoop>();
        activator = std::make_unique<wxEventLoopActivator>(own.get());
        active = own.get();
    }
    for (;;) {
        if (wxTheApp != nullptr) wxTheApp->ProcessPendingEvents();
        if (pred()) return true;
        if (Clock::now() >= deadline) return pred();
        active->DispatchTimeout(10);
        if (wxTheApp != nullptr) wxTheApp->ProcessIdle();
    }
}

void ProcessPending() {
    wxEventLoopBase* active = wxEventLoopBase::GetActive();
    std::unique_ptr<wxGUIEventLoop> own;
    std::unique_ptr<wxEventLoopActivator> activator;
    if (active == nullptr) {
        own = std::make_unique<wxGUIEventLoop>();
        activator = std::make_unique<wxEventLoopActivator>(own.get());
        active = own.get();
    }
    // A few rounds: handlers of one batch often queue the next (CallAfter, Refresh).
    for (int round = 0; round < 20; ++round) {
        while (active->Pending()) active->Dispatch();
        if (wxTheApp != nullptr) {
            wxTheApp->ProcessPendingEvents();
            wxTheApp->ProcessIdle();
        }
        if (!active->Pending() && (wxTheApp == nullptr || !wxTheApp->HasPendingEvents())) break;
    }
}

}  // namespace platform::ui
