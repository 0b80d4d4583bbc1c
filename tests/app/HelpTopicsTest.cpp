#include <fstream>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/HelpTopics.h"
#include "platform/Prompt.h"

using namespace app;
namespace fs = std::filesystem;

namespace {

class HelpTopics : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* page :
             {"1040/Tunova/index.html", "1033/Tunova/index.html", "1033/Tunova/ID_SECT_Mappa.html",
              "2057/Tarvik/ID_SEZ_SystemManager.html", "Olmeda/index.html"}) {
            fs::create_directories((help.dir / page).parent_path());
            std::ofstream(help.dir / page) << "<html></html>";
        }
    }
    TempRegistry help{"help"};  // only its folder is used
};

TEST_F(HelpTopics, LanguageFoldersInTheirOrder) {
    struct Case {
        const char* topic;
        unsigned language;
        const char* found;  // relative to the help folder, "" none
    };
    const Case cases[] = {
        {"Tunova.chm", 1040, "1040/Tunova/index.html"},
        {"Tunova.chm", 1033, "1033/Tunova/index.html"},
        {"Tunova.chm::/ID_SECT_Mappa.html", 1040, "1033/Tunova/ID_SECT_Mappa.html"},
        {"Tarvik.chm::/ID_SEZ_SystemManager.html#ID_PAR_SafetyCondition", 2057,
         "2057/Tarvik/ID_SEZ_SystemManager.html"},
        {"Tarvik.chm::/ID_SEZ_SystemManager.html", 3081, ""},  // primary English default is 1033
        {"Olmeda.chm::/index.html", 1031, "Olmeda/index.html"},
        {"Missing.chm::/index.html", 1033, ""},
        {"Tunova.chm::/nothere.html", 1033, ""},
    };
    for (const Case& c : cases) {
        const fs::path page = FindHelpTopicPage(help.dir, c.topic, c.language);
        EXPECT_EQ(page, *c.found ? help.dir / c.found : fs::path()) << c.topic << " " << c.language;
    }
    // en_AU (3081) falls back to en_US through the primary language.
    fs::create_directories(help.dir / "1033/Tarvik");
    std::ofstream(help.dir / "1033/Tarvik/ID_SEZ_SystemManager.html") << "x";
    EXPECT_EQ(FindHelpTopicPage(help.dir, "Tarvik.chm::/ID_SEZ_SystemManager.html", 3081),
              help.dir / "1033/Tarvik/ID_SEZ_SystemManager.html");
}

TEST(HelpTopicShow, MissingTopicIsToldAndNothingOpens) {
    platform::ScriptedPrompts prompts;
    platform::SetPromptService(&prompts);
    std::vector<std::string> opened;
    SetHelpOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    ShowHelpTopic("Nothing.chm::/index.html");
    ASSERT_EQ(prompts.Asked().size(), 1u);
    EXPECT_NE(prompts.Asked()[0].text.find("Nothing.chm::/index.html"), std::string::npos);
    EXPECT_TRUE(opened.empty());
    platform::SetPromptService(nullptr);
}

}  // namespace
