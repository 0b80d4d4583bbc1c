#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/MainFrameCommands.h"
#include "foundation/MessageIds.h"
#include "platform/Prompt.h"

using namespace app;
using namespace foundation;

namespace {

class FakeContext : public CommandContext {
  public:
    bool oscilloscope = false, driveSetup = false, toolWindows = false, programmable = true, archive = true;
    std::vector<int> answers;
    std::vector<std::string> asked;
    std::vector<std::pair<unsigned, uintptr_t>> posted;
    std::vector<std::pair<FrameAction, int>> actions;

    bool IsOscilloscopeVisible() const override { return oscilloscope; }
    bool IsDriveSetupVisible() const override { return driveSetup; }
    bool IsDriveSetupOrToolWindowOpen() const override { return toolWindows; }
    bool IsProgrammable() const override { return programmable; }
    bool HasArchive() const override { return archive; }
    int Ask(const std::string& text, const std::string&, unsigned) override {
        asked.push_back(text);
        if (answers.empty()) return platform::IDNO;
        const int a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
    void PostToMainDialog(unsigned message, uintptr_t wParam) override {
        posted.emplace_back(message, wParam);
    }
    void RunFrameAction(FrameAction action, int id) override { actions.emplace_back(action, id); }
};

TEST(MainFrameCommands, PostedCommandsWithTheirParameters) {
    struct Case {
        int id;
        unsigned message;
        uintptr_t wParam;
    };
    const Case cases[] = {
        {ID_DOWNLOAD_FIRMWARE, kMainDlgFirmwareDownloadMessage, 0},
        {ID_PERMANENT_MEMORY, 0x43F, 0},
        {ID_OPTIONS, 0x440, 0},
        {ID_RUN_STOP_PLC, 0x465, 0},
        {ID_DRIVE_ENABLE, 0x437, 0},
        {ID_DRIVE_DISABLE, 0x437, 0},
        {ID_OBJECT_DICTIONARY, 0x43D, 0},
        {ID_USER_MOTORS_MANAGE, 0x461, 0},
        {ID_USER_MOTORS_IMPORT, 0x462, 0},
        {ID_USER_MOTORS_EXPORT, 0x463, 0},
        {ID_USER_MOTORS_DELETE, 0x464, 0},
        {ID_EXPORT_PARAMETERS, 0x467, 0},
        {ID_IMPORT_PARAMETERS, 0x466, 0},
        {ID_DOWNLOAD_PARAMETERS, 0x468, 0},
        {ID_ERASE_PROGRAM, 0x469, 0},
        {ID_EXPORT_FIRMWARE, 0x434, 0},
        {ID_HARD_RESET, 0x445, 32846},
        {ID_SOFT_RESET, 0x445, 32847},
        {ID_RESET_DEFAULTS, 0x445, 32848},
        {ID_COMPARE_PARAMETERS, 0x46A, 0},
        {ID_SAVE_CONFIGURATION, 0x46C, 0},
        {ID_LOAD_CONFIGURATION, 0x46B, 0},
        {ID_CREATE_ARCHIVE, 0x46D, 0},
        {ID_INSTALL_ARCHIVE, 0x46E, 0},
        {ID_XUL_ENABLE, 0x436, 1},
        {ID_XUL_DISABLE, 0x436, 0},
        {ID_MODBUS_ADDRESSES, 0x472, 32873},
        {ID_BUS_ADDRESSES, 0x472, 32874},
    };
    for (const Case& c : cases) {
        FakeContext context;
        EXPECT_TRUE(ExecuteCommand(c.id, context)) << c.id;
        ASSERT_EQ(context.posted.size(), 1u) << c.id;
        EXPECT_EQ(context.posted[0].first, c.message) << c.id;
        EXPECT_EQ(context.posted[0].second, c.wParam) << c.id;
        EXPECT_TRUE(context.actions.empty()) << c.id;
    }
}

TEST(MainFrameCommands, FrameActions) {
    struct Case {
        int id;
        FrameAction action;
    };
    const Case cases[] = {
        {ID_RESET_OUTPUT_BAR, FrameAction::ResetOutputBar},
        {32775, FrameAction::EditorCommand},
        {32856, FrameAction::EditorCommand},
        {ID_HELP_DEVICE, FrameAction::HelpOnDevice},
        {ID_APP_ABOUT, FrameAction::About},
        {ID_SHOW_ERRORS, FrameAction::ShowErrors},
        {ID_NEW_CONNECTION, FrameAction::NewConnection},
        {ID_DRIVE_SETUP, FrameAction::DriveSetup},
        {ID_VIEW_OUTPUT, FrameAction::ViewOutput},
        {ID_OSCILLOSCOPE, FrameAction::Oscilloscope},
        {ID_TUNING, FrameAction::Tuning},
        {ID_TOOLBAR_RELOAD, FrameAction::ToolbarReload},
        {ID_WEB_SITE, FrameAction::WebSite},
        {ID_HELP_PROGRAM, FrameAction::HelpOnProgram},
        {ID_CONTEXT_HELP, FrameAction::ContextHelp},
        {ID_SUPPLY_SETUP, FrameAction::SupplySetup},
        {ID_CHECK_FIRMWARE, FrameAction::CheckFirmwareUpdates},
        {ID_RESET_OSC_POSITION, FrameAction::ResetOscPosition},
        {ID_COMM_STATUS, FrameAction::CommStatus},
        {ID_SYSTEM_INFORMATION, FrameAction::SystemInformation},
        {ID_XUL_SETUP, FrameAction::XulSetup},
    };
    for (const Case& c : cases) {
        FakeContext context;
        EXPECT_TRUE(ExecuteCommand(c.id, context)) << c.id;
        ASSERT_EQ(context.actions.size(), 1u) << c.id;
        EXPECT_EQ(context.actions[0].first, c.action) << c.id;
        EXPECT_EQ(context.actions[0].second, c.id);
        EXPECT_TRUE(context.posted.empty()) << c.id;
    }
    FakeContext context;
    EXPECT_FALSE(ExecuteCommand(32776, context)) << "an id no menu holds";
    EXPECT_FALSE(ExecuteCommand(40000, context));
}

TEST(MainFrameCommands, ConfirmationsAnsweredOtherThanYesDropTheCommand) {
    struct Case {
        bool scope, setup;
        std::vector<int> answers;
        bool runs;
        size_t questions;
    };
    const Case cases[] = {
        {false, false, {}, true, 0},
        {true, false, {platform::IDYES}, true, 1},
        {true, false, {platform::IDNO}, false, 1},
        {false, true, {platform::IDCANCEL}, false, 1},
        {true, true, {platform::IDYES, platform::IDYES}, true, 2},
        {true, true, {platform::IDYES, platform::IDNO}, false, 2},
        {true, true, {platform::IDNO}, false, 1},
    };
    for (int id : {ID_DOWNLOAD_FIRMWARE, ID_IMPORT_PARAMETERS, ID_DOWNLOAD_PARAMETERS}) {
        for (const Case& c : cases) {
            FakeContext context;
            context.oscilloscope = c.scope;
            context.driveSetup = c.setup;
            context.answers = c.answers;
            EXPECT_EQ(ExecuteCommand(id, context), c.runs);
            EXPECT_EQ(context.posted.size(), c.runs ? 1u : 0u);
            EXPECT_EQ(context.asked.size(), c.questions);
            if (c.scope) {
                EXPECT_EQ(context.asked[0], "Close Oscilloscope; confirm?");
            }
            if (c.setup && c.questions == 2) {
                EXPECT_EQ(context.asked[1], "Close Drive Setup; confirm?");
            }
        }
    }
    FakeContext plain;
    plain.oscilloscope = true;
    EXPECT_TRUE(ExecuteCommand(ID_EXPORT_PARAMETERS, plain)) << "only the listed commands confirm";
    EXPECT_TRUE(plain.asked.empty());
}

TEST(MainFrameCommands, GuardsOfPlcUserMotorsAndArchives) {
    FakeContext notProgrammable;
    notProgrammable.programmable = false;
    EXPECT_FALSE(ExecuteCommand(ID_RUN_STOP_PLC, notProgrammable));
    EXPECT_EQ(notProgrammable.asked, std::vector<std::string>{"This is not a programmable drive!"});

    for (int id : {ID_USER_MOTORS_MANAGE, ID_USER_MOTORS_IMPORT, ID_USER_MOTORS_DELETE}) {
        FakeContext busy;
        busy.toolWindows = true;
        EXPECT_FALSE(ExecuteCommand(id, busy));
        EXPECT_EQ(busy.asked,
                  std::vector<std::string>{"Please close other windows before editing user motors"});
    }
    FakeContext exportBusy;
    exportBusy.toolWindows = true;
    EXPECT_TRUE(ExecuteCommand(ID_USER_MOTORS_EXPORT, exportBusy));

    for (int id : {ID_CREATE_ARCHIVE, ID_INSTALL_ARCHIVE}) {
        FakeContext noArchive;
        noArchive.archive = false;
        EXPECT_FALSE(ExecuteCommand(id, noArchive));
        EXPECT_TRUE(noArchive.asked.empty()) << "nothing is said";
        EXPECT_TRUE(noArchive.posted.empty());
    }
}

TEST(MainFrameCommands, MenuAndToolbarIdsPerFamily) {
    EXPECT_EQ(MenuResourceOf(DeviceFamily::Drive), 604);
    EXPECT_EQ(MenuResourceOf(DeviceFamily::Supply), 1071);
    EXPECT_EQ(MenuResourceOf(DeviceFamily::Kwz), 1072);
    EXPECT_EQ(MenuResourceOf(DeviceFamily::Xul), 1073);
    EXPECT_EQ(ToolbarResourceOf(DeviceFamily::Xul, true), 1317);
    EXPECT_EQ(ToolbarResourceOf(DeviceFamily::Supply, false), 1068);
    EXPECT_EQ(ToolbarResourceOf(DeviceFamily::Kwz, true), 1311);
    EXPECT_EQ(ToolbarResourceOf(DeviceFamily::Kwz, false), 1069);
    EXPECT_EQ(ToolbarResourceOf(DeviceFamily::Drive, true), 1310);
    EXPECT_EQ(ToolbarResourceOf(DeviceFamily::Drive, false), 602);

    auto has = [](const std::vector<int>& ids, int id) {
        return std::find(ids.begin(), ids.end(), id) != ids.end();
    };
    struct Case {
        DeviceFamily family;
        bool programmable;
        std::vector<int> present, absent;
    };
    const Case cases[] = {
        {DeviceFamily::Drive,
         false,
         {ID_DRIVE_SETUP, ID_OSCILLOSCOPE, ID_HARD_RESET},
         {32775, ID_RUN_STOP_PLC, ID_XUL_SETUP}},
        {DeviceFamily::Drive,
         true,
         {ID_DRIVE_SETUP, 32775, 32791, ID_RUN_STOP_PLC},
         {ID_XUL_SETUP, ID_SUPPLY_SETUP}},
        {DeviceFamily::Xul,
         false,
         {ID_XUL_SETUP, ID_XUL_ENABLE, ID_XUL_DISABLE},
         {ID_DRIVE_SETUP, ID_OSCILLOSCOPE}},
        {DeviceFamily::Supply, false, {ID_SUPPLY_SETUP}, {ID_DRIVE_SETUP, ID_XUL_SETUP}},
        {DeviceFamily::Kwz, true, {ID_DRIVE_SETUP, 32775}, {ID_XUL_SETUP}},
    };
    for (const Case& c : cases) {
        const auto menus = DeviceMenu(c.family, c.programmable);
        const std::vector<int> ids = CommandIdsOf(menus);
        for (int id : c.present) EXPECT_TRUE(has(ids, id)) << id;
        for (int id : c.absent) EXPECT_FALSE(has(ids, id)) << id;
        // Every device menu ends with "&Help" holding About, and every item routes somewhere.
        EXPECT_EQ(menus.back().caption, "&Help");
        EXPECT_TRUE(has(CommandIdsOf({menus.back()}), ID_APP_ABOUT));
        for (int id : ids) EXPECT_TRUE(id == ID_APP_EXIT || RouteOfCommand(id).has_value()) << id;
        std::set<std::string> titles;
        for (const auto& m : menus) titles.insert(m.caption);
        EXPECT_EQ(titles.count("&Program") + titles.count("&Edit"), c.programmable ? 2u : 0u);
        for (const auto& tool : DeviceToolbar(c.family, c.programmable)) {
            if (tool.id != 0) {
                EXPECT_TRUE(RouteOfCommand(tool.id).has_value()) << tool.id;
            }
        }
    }
}

TEST(MainFrameCommands, DeviceFamilyFromTheDriveObject) {
    struct Case {
        int code;
        bool supply, kwz;
        DeviceFamily family;
    };
    for (const Case& c :
         {Case{0, false, false, DeviceFamily::Drive}, Case{11, false, false, DeviceFamily::Drive},
          Case{10, false, false, DeviceFamily::Xul}, Case{10, true, true, DeviceFamily::Xul},
          Case{3, true, false, DeviceFamily::Supply}, Case{3, true, true, DeviceFamily::Supply},
          Case{3, false, true, DeviceFamily::Kwz}}) {
        EXPECT_EQ(DeviceFamilyOf(c.code, c.supply, c.kwz), c.family) << c.code << c.supply << c.kwz;
    }
    EXPECT_EQ(MenuResourceOf(DeviceFamilyOf(10, false, false)), 1073);
}

TEST(MainFrameCommands, CommandStateMapDisablesOnlyItsDisabledIds) {
    std::map<uint32_t, uint32_t> states{{ID_OPTIONS, kCommandDisabled},
                                        {ID_VIEW_OUTPUT, kCommandChecked},
                                        {ID_TUNING, kCommandDisabled | kCommandChecked},
                                        {ID_SOFT_RESET, kCommandIndeterminate}};
    EXPECT_TRUE(IsCommandDisabled(&states, ID_OPTIONS));
    EXPECT_TRUE(IsCommandDisabled(&states, ID_TUNING));
    EXPECT_FALSE(IsCommandDisabled(&states, ID_VIEW_OUTPUT));
    EXPECT_FALSE(IsCommandDisabled(&states, ID_SOFT_RESET));
    EXPECT_FALSE(IsCommandDisabled(&states, ID_NEW_CONNECTION)) << "absent: enabled";
    EXPECT_FALSE(IsCommandDisabled(nullptr, ID_OPTIONS)) << "no map: enabled";
}

TEST(MainFrameCommands, LockKeyIndicators) {
    EXPECT_EQ(LockIndicatorText(LockKey::Caps, true), "CAP");
    EXPECT_EQ(LockIndicatorText(LockKey::Num, true), "NUM");
    EXPECT_EQ(LockIndicatorText(LockKey::Scroll, true), "SCRL");
    for (LockKey key : {LockKey::Caps, LockKey::Num, LockKey::Scroll})
        EXPECT_EQ(LockIndicatorText(key, false), "");
}

}  // namespace
