#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "platform/Prompt.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WxPrompts.h"

using namespace platform::ui;

namespace {

struct Shown {
    std::string text, caption;
    unsigned flags = 0;
    bool onGui = false;
};

class WxPromptsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        service.SetDefaultCaption("Tunova");
        service.SetShower([this](const std::string& text, const std::string& caption, unsigned flags) {
            shown.push_back({text, caption, flags, IsGuiThread()});
            return platform::IDYES;
        });
        platform::SetPromptService(&service);
    }
    void TearDown() override { platform::SetPromptService(nullptr); }
    WxPromptService service;
    std::vector<Shown> shown;
};

TEST_F(WxPromptsTest, WorkerQuestionIsAskedOnGuiThreadAndAnswered) {
    std::atomic<int> answer{0};
    std::thread worker([&] {
        answer =
            platform::Prompts().MessageBox("Overwrite?", "", platform::MB_YESNO | platform::MB_ICONQUESTION);
    });
    ASSERT_TRUE(RunUntil([&] { return answer.load() != 0; }, 20000));
    worker.join();
    EXPECT_EQ(answer.load(), platform::IDYES);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].onGui);
    EXPECT_EQ(shown[0].caption, "Tunova") << "no caption given: the program name";
    EXPECT_EQ(shown[0].flags, platform::MB_YESNO | platform::MB_ICONQUESTION);
    EXPECT_EQ(MessageBox("Direct", "Own caption"), platform::IDYES);
    EXPECT_EQ(shown.back().caption, "Own caption");
}

TEST_F(WxPromptsTest, GuiThreadWaitingForItsWorkerCancelsTheQuestionInsteadOfDeadlocking) {
    std::atomic<bool> asking{false};
    int answer = 0;
    std::thread worker([&] {
        asking = true;
        answer = platform::Prompts().MessageBox("Stuck?", "", platform::MB_OKCANCEL);
    });
    while (!asking) std::this_thread::yield();
    // The GUI thread does not pump: it is about to join the worker.
    service.CancelPending();
    worker.join();
    EXPECT_EQ(answer, platform::IDCANCEL);
    platform::ui::ProcessPending();  // the queued call finds the question cancelled
    EXPECT_TRUE(shown.empty());
    service.Resume();
}

TEST_F(WxPromptsTest, CustomDialogsByKindWithSelection) {
    service.RegisterCustom("XmlNotUpdated", [](const std::vector<std::string>& args, int* selection) {
        *selection = static_cast<int>(args.size());
        return platform::IDOK;
    });
    int selection = -1;
    int result = 0;
    std::thread worker([&] { result = platform::Prompts().Custom("XmlNotUpdated", {"a", "b"}, &selection); });
    ASSERT_TRUE(RunUntil([&] { return result != 0; }, 20000));
    worker.join();
    EXPECT_EQ(result, platform::IDOK);
    EXPECT_EQ(selection, 2);
    EXPECT_EQ(platform::Prompts().Custom("Unknown", {}, nullptr), platform::IDCANCEL);
}

}  // namespace
