#include <gtest/gtest.h>
#include <wx/frame.h>

#include "ControlsTestSupport.h"
#include "controls/DipSwitch.h"
#include "platform/ui/Gui.h"
#include "platform/ui/Images.h"

using namespace controls;

namespace {

class DipSwitchTest : public ::testing::Test {
  protected:
    void SetUp() override { frame = new wxFrame(nullptr, wxID_ANY, "dip"); }
    void TearDown() override {
        frame->Destroy();
        platform::ui::SetResourceFolder({});
    }
    wxFrame* frame = nullptr;
};

TEST_F(DipSwitchTest, RedrawsOnlyWhenTheSettingChanges) {
    platform::ui::SetResourceFolder(SourceResources());
    auto* dip = new CDipSwitch();
    ASSERT_TRUE(dip->Create(frame, 100));
    ASSERT_TRUE(dip->HasBody());
    EXPECT_EQ(dip->GetSize(), wxSize(dip->BodyWidth(), dip->BodyHeight()));
    EXPECT_TRUE(dip->DrawSetting(0xA5));
    EXPECT_EQ(dip->Invalidations(), 1);
    EXPECT_FALSE(dip->DrawSetting(0xA5));
    EXPECT_EQ(dip->Invalidations(), 1);
    platform::ui::MemoryCanvas before(dip->BodyWidth(), dip->BodyHeight());
    dip->Paint(before.Dc());
    EXPECT_TRUE(before.SavePng(ControlArtifacts() / "dipswitch-A5.png"));
    EXPECT_TRUE(dip->DrawSetting(0x01));
    EXPECT_EQ(dip->Invalidations(), 2);
    platform::ui::MemoryCanvas after(dip->BodyWidth(), dip->BodyHeight());
    dip->Paint(after.Dc());
    EXPECT_TRUE(after.SavePng(ControlArtifacts() / "dipswitch-01.png"));
    // Switch 0 is set in both, switch 2 only in the first picture.
    const int lever2 = 8 + 20 * 2 + 5;
    EXPECT_NE(before.PixelAt(lever2, 17 + 4), after.PixelAt(lever2, 17 + 4));
    EXPECT_EQ(before.PixelAt(8 + 5, 17 + 4), after.PixelAt(8 + 5, 17 + 4));
}

TEST_F(DipSwitchTest, WithoutBodyImagePaintsNothing) {
    platform::ui::SetResourceFolder(std::filesystem::temp_directory_path() / "tunova-no-images");
    auto* dip = new CDipSwitch();
    ASSERT_TRUE(dip->Create(frame, 101));
    EXPECT_FALSE(dip->HasBody());
    EXPECT_EQ(dip->BodyWidth(), 0);
    EXPECT_EQ(dip->BodyHeight(), 0);
    EXPECT_NE(dip->GetBackgroundStyle(), wxBG_STYLE_PAINT) << "the background is erased as usual";
    platform::ui::MemoryCanvas canvas(20, 20, 0x123456);
    dip->Paint(canvas.Dc());
    EXPECT_EQ(canvas.PixelAt(5, 5), 0x123456u);
}

}  // namespace
