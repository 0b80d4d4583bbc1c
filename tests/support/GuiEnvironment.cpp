// Starts wx once for the whole test program (under Xvfb in the test script).
#include <gtest/gtest.h>

#include <wx/debug.h>

#include "platform/ui/Gui.h"

namespace {

class GuiEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        // A failed wx check must fail the test, not open a box nobody closes.
        wxSetAssertHandler([](const wxString& file, int line, const wxString& func, const wxString& cond,
                              const wxString& msg) {
            ADD_FAILURE() << "wx assertion " << cond << " " << msg << " in " << func << " at " << file << ":"
                          << line;
        });
        ASSERT_TRUE(platform::ui::StartGui()) << "no display: run under xvfb-run";
    }
    void TearDown() override { platform::ui::StopGui(); }
};

[[maybe_unused]] ::testing::Environment* const g_gui =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

}  // namespace
