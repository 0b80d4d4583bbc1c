// Configuration files of the main dialog's commands: the shown variables and the unit settings
// go out and come back, and a file of another kind is refused with a message.
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

#include "app/ProgramSettingsStore.h"
#include "foundation/XmlNode.h"
#include "platform/Prompt.h"

using namespace app;
namespace fs = std::filesystem;

namespace {

TEST(ProgramSettingsStore, ShownVariablesAndUnitsRoundTrip) {
    platform::ScriptedPrompts prompts;
    platform::SetPromptService(&prompts);
    const fs::path dir = fs::temp_directory_path() / ("tunova-settings-store-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);

    std::string savedUnit, loadedUnit;
    ProgramSettingsHooks hooks;
    hooks.saveUnits = [&](foundation::CXmlNode& ua) { ua.SetAttribute("Probe", "mm"); };
    hooks.loadUnits = [&](const foundation::CXmlNode& ua) { loadedUnit = ua.GetAttribute("Probe"); };
    hooks.isVariable = [](const std::string& name) { return name != "Gone"; };
    CProgramSettingsStore store(hooks);
    std::string error;
    ASSERT_TRUE(store.Save(dir / "config.xml", {"Actual position", "", "DC bus voltage", "Gone"}, &error))
        << error;

    CProgramSettingsStore other(hooks);
    std::array<std::string, 4> shown;
    ASSERT_TRUE(other.Load(dir / "config.xml", shown));
    EXPECT_EQ(shown[0], "Actual position");
    EXPECT_EQ(shown[2], "DC bus voltage");
    EXPECT_EQ(loadedUnit, "mm");
    EXPECT_EQ(prompts.AskedCount(), 0u);

    // Not a configuration file: told, nothing taken.
    std::ofstream(dir / "other.xml") << "<DEVICE_PARAMETER/>";
    shown = {"a", "b", "c", "d"};
    EXPECT_FALSE(other.Load(dir / "other.xml", shown));
    EXPECT_EQ(shown[0], "a");
    ASSERT_EQ(prompts.AskedCount(), 1u);
    EXPECT_NE(prompts.Asked()[0].text.find("is not a configuration file"), std::string::npos);
    // A name taken by a folder: the reason comes back.
    fs::create_directories(dir / "taken.xml");
    EXPECT_FALSE(store.Save(dir / "taken.xml", shown, &error));
    EXPECT_FALSE(error.empty());

    platform::SetPromptService(nullptr);
    fs::remove_all(dir);
}

}  // namespace
