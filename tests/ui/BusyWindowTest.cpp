#include <future>
#include <thread>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/dialog.h>

#include "platform/ui/BusyWindow.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"

namespace {

wxDialog* FindBusyWindow(const wxString& title) {
    for (wxWindow* w : wxTopLevelWindows) {
        auto* dialog = dynamic_cast<wxDialog*>(w);
        if (dialog != nullptr && dialog->IsModal() && dialog->GetTitle() == title) return dialog;
    }
    return nullptr;
}

TEST(BusyWindow, WorkRunsOnAWorkerWhileTheModalWindowShows) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::thread::id workThread;
    bool sawWindow = false;
    bool closeRefused = false;
    wxTheApp->CallAfter([&] {
        wxDialog* busy = nullptr;
        platform::ui::RunUntil([&] { return (busy = FindBusyWindow("Saving to the drive...")) != nullptr; },
                               5000);
        sawWindow = busy != nullptr;
        if (busy != nullptr) {
            platform::ui::RunUntil([&] { return busy->IsShownOnScreen(); }, 5000);
            platform::ui::SaveWindowPicture(
                busy, std::filesystem::path(TUNOVA_BINARY_DIR) / "artifacts" / "ui" / "busy_window.png");
            busy->Close();  // the user's close is refused
            closeRefused = busy->IsModal();
        }
        release.set_value();
    });
    platform::ui::RunBusy(nullptr, "Saving to the drive...", [&] {
        workThread = std::this_thread::get_id();
        released.wait();
    });
    EXPECT_TRUE(sawWindow);
    EXPECT_TRUE(closeRefused);
    EXPECT_NE(workThread, std::this_thread::get_id());
    EXPECT_EQ(FindBusyWindow("Saving to the drive..."), nullptr);
}

TEST(BusyWindow, WorkThatEndsAtOnceStillReturns) {
    int runs = 0;
    platform::ui::RunBusy(nullptr, "Quick", [&] { ++runs; });
    EXPECT_EQ(runs, 1);
}

}  // namespace
