#include "app/MainFrameCommands.h"

#include <algorithm>
#include <map>

#include "foundation/MessageIds.h"
#include "foundation/ProgramFolders.h"
#include "platform/Prompt.h"

namespace app {
namespace {

using namespace foundation;

const std::map<int, CommandRoute>& Routes() {
    static const std::map<int, CommandRoute> routes = [] {
        std::map<int, CommandRoute> r;
        auto frame = [&](int id, FrameAction action) { r[id] = {action, 0, 0, Guard::None}; };
        auto post = [&](int id, unsigned message, uintptr_t wParam = 0, Guard guard = Guard::None) {
            r[id] = {FrameAction::Post, message, wParam, guard};
        };
        frame(ID_RESET_OUTPUT_BAR, FrameAction::ResetOutputBar);
        frame(ID_HELP_DEVICE, FrameAction::HelpOnDevice);
        frame(ID_APP_ABOUT, FrameAction::About);
        post(ID_DOWNLOAD_FIRMWARE, kMainDlgFirmwareDownloadMessage, 0, Guard::Confirm);
        post(ID_PERMANENT_MEMORY, kMainDlgPermanentMemoryMessage);
        frame(ID_SHOW_ERRORS, FrameAction::ShowErrors);
        frame(ID_NEW_CONNECTION, FrameAction::NewConnection);
        frame(ID_DRIVE_SETUP, FrameAction::DriveSetup);
        frame(ID_VIEW_OUTPUT, FrameAction::ViewOutput);
        post(ID_OPTIONS, kMainDlgOptionsMessage);
        post(ID_RUN_STOP_PLC, kMainDlgRunStopPlcMessage, 0, Guard::Programmable);
        post(ID_DRIVE_ENABLE, kMainDlgDriveEnableMessage);
        post(ID_DRIVE_DISABLE, kMainDlgDriveEnableMessage);
        post(ID_OBJECT_DICTIONARY, kMainDlgObjectDictionaryMessage);
        frame(ID_OSCILLOSCOPE, FrameAction::Oscilloscope);
        frame(ID_TUNING, FrameAction::Tuning);
        frame(ID_TOOLBAR_RELOAD, FrameAction::ToolbarReload);
        frame(ID_WEB_SITE, FrameAction::WebSite);
        frame(ID_HELP_PROGRAM, FrameAction::HelpOnProgram);
        frame(ID_CONTEXT_HELP, FrameAction::ContextHelp);
        post(ID_USER_MOTORS_MANAGE, kMainDlgUserMotorsManageMessage, 0, Guard::NoOtherWindows);
        post(ID_USER_MOTORS_IMPORT, kMainDlgUserMotorsImportMessage, 0, Guard::NoOtherWindows);
        post(ID_USER_MOTORS_EXPORT, kMainDlgUserMotorsExportMessage);
        post(ID_USER_MOTORS_DELETE, kMainDlgUserMotorsDeleteMessage, 0, Guard::NoOtherWindows);
        post(ID_EXPORT_PARAMETERS, kMainDlgExportParametersMessage);
        post(ID_IMPORT_PARAMETERS, kMainDlgImportParametersMessage, 0, Guard::Confirm);
        post(ID_DOWNLOAD_PARAMETERS, kMainDlgDownloadParametersMessage, 0, Guard::Confirm);
        post(ID_ERASE_PROGRAM, kMainDlgEraseProgramMessage);
        post(ID_EXPORT_FIRMWARE, kMainDlgExportFirmwareMessage);
        for (int id : {ID_HARD_RESET, ID_SOFT_RESET, ID_RESET_DEFAULTS})
            post(id, kMainDlgResetMessage, static_cast<uintptr_t>(id));
        frame(ID_SUPPLY_SETUP, FrameAction::SupplySetup);
        post(ID_COMPARE_PARAMETERS, kMainDlgCompareParametersMessage);
        post(ID_SAVE_CONFIGURATION, kMainDlgSaveConfigurationMessage);
        post(ID_LOAD_CONFIGURATION, kMainDlgLoadConfigurationMessage, 0);
        post(ID_CREATE_ARCHIVE, kMainDlgCreateArchiveMessage, 0, Guard::HasArchive);
        post(ID_INSTALL_ARCHIVE, kMainDlgInstallArchiveMessage, 0, Guard::HasArchive);
        frame(ID_CHECK_FIRMWARE, FrameAction::CheckFirmwareUpdates);
        frame(ID_RESET_OSC_POSITION, FrameAction::ResetOscPosition);
        frame(ID_COMM_STATUS, FrameAction::CommStatus);
        frame(ID_SYSTEM_INFORMATION, FrameAction::SystemInformation);
        frame(ID_XUL_SETUP, FrameAction::XulSetup);
        post(ID_XUL_ENABLE, kMainDlgXulEnableMessage, 1);
        post(ID_XUL_DISABLE, kMainDlgXulEnableMessage, 0);
        for (int id : {ID_MODBUS_ADDRESSES, ID_BUS_ADDRESSES})
            post(id, kMainDlgPlainParameterFileMessage, static_cast<uintptr_t>(id));
        return r;
    }();
    return routes;
}

constexpr int kEditorIds[] = {32775, 32777, 32778, 32779, 32788, 32789, 32791, 32792, 32793, 32794,
                              32795, 32796, 32797, 32798, 32802, 32803, 32809, 32810, 32811, 32812,
                              32813, 32814, 32815, 32816, 32817, 32818, 32824, 32826, 32856};

using platform::ui::MenuSpec;
using platform::ui::ToolSpec;

MenuSpec Separator() {
    return MenuSpec(0);
}

MenuSpec FileMenu() {
    return {0,
            "&File",
            {{ID_NEW_CONNECTION, "&New connection..."},
             Separator(),
             {ID_LOAD_CONFIGURATION, "&Load configuration..."},
             {ID_SAVE_CONFIGURATION, "&Save configuration..."},
             Separator(),
             {ID_EXPORT_PARAMETERS, "Save/&Export parameters..."},
             {ID_IMPORT_PARAMETERS, "&Import parameters file..."},
             {ID_DOWNLOAD_PARAMETERS, "&Download parameters file..."},
             {ID_COMPARE_PARAMETERS, "Compare parameters..."},
             {ID_MODBUS_ADDRESSES, "Modbus addresses..."},
             {ID_BUS_ADDRESSES, "Bus addresses..."},
             Separator(),
             {ID_CREATE_ARCHIVE, "&Create archive..."},
             {ID_INSTALL_ARCHIVE, "&Install archive..."},
             Separator(),
             {ID_APP_EXIT, "E&xit"}}};
}

MenuSpec FirmwareItems(std::vector<MenuSpec> items) {
    items.push_back(Separator());
    items.push_back({ID_DOWNLOAD_FIRMWARE, "Download &firmware..."});
    items.push_back({ID_EXPORT_FIRMWARE, "Export firmware..."});
    items.push_back({ID_CHECK_FIRMWARE, "Check firmware updates"});
    items.push_back(Separator());
    items.push_back({ID_HARD_RESET, "Hard reset"});
    items.push_back({ID_SOFT_RESET, "Soft reset"});
    items.push_back({ID_RESET_DEFAULTS, "Reset to defaults"});
    items.push_back(Separator());
    items.push_back({ID_PERMANENT_MEMORY, "Permanent &memory..."});
    items.push_back({ID_SYSTEM_INFORMATION, "System Information..."});
    return MenuSpec(0, "&Drive", std::move(items));
}

MenuSpec UserMotorsMenu() {
    return {0,
            "User motors",
            {{ID_USER_MOTORS_MANAGE, "Manage..."},
             {ID_USER_MOTORS_IMPORT, "Import..."},
             {ID_USER_MOTORS_EXPORT, "Export..."},
             {ID_USER_MOTORS_DELETE, "Delete..."}}};
}

MenuSpec ToolsMenu(bool scope) {
    std::vector<MenuSpec> items;
    if (scope) {
        items.push_back({ID_OSCILLOSCOPE, "Oscilloscope..."});
        items.push_back({ID_TUNING, "Tuning..."});
        items.push_back({ID_RESET_OSC_POSITION, "Reset osc. position"});
        items.push_back(Separator());
    }
    items.push_back({ID_OBJECT_DICTIONARY, "Object dictionary..."});
    items.push_back({ID_COMM_STATUS, "Comm. status..."});
    items.push_back(Separator());
    items.push_back({ID_OPTIONS, "Options..."});
    return MenuSpec(0, "&Tools", std::move(items));
}

MenuSpec ViewMenu() {
    return {0,
            "&View",
            {{ID_VIEW_OUTPUT, "Output", {}, true},
             {ID_RESET_OUTPUT_BAR, "Reset output bar"},
             {ID_SHOW_ERRORS, "Errors"}}};
}

MenuSpec ProgramMenu() {
    return {0,
            "&Program",
            {{32775, "&New"},
             {32777, "&Open..."},
             {32778, "&Save"},
             {32779, "Save &as..."},
             Separator(),
             {32788, "&Compile"},
             {32789, "&Download"},
             {ID_RUN_STOP_PLC, "&Run/Stop PLC"},
             {ID_ERASE_PROGRAM, "Erase drive program"},
             Separator(),
             {32809, "Add watch"},
             {32810, "Remove watch"}}};
}

MenuSpec EditMenu() {
    return {0,
            "&Edit",
            {{32791, "&Undo"},
             {32792, "&Redo"},
             Separator(),
             {32793, "Cu&t"},
             {32794, "&Copy"},
             {32795, "&Paste"},
             Separator(),
             {32796, "&Find..."},
             {32797, "Toggle bookmark"},
             {32798, "Next bookmark"}}};
}

// The help menu appended to every device menu.
MenuSpec HelpMenu() {
    return {0,
            "&Help",
            {{ID_HELP_PROGRAM, "Help on the program"},
             {ID_HELP_DEVICE, "Help on device"},
             {ID_CONTEXT_HELP, "Context help"},
             {ID_WEB_SITE, "Web site"},
             Separator(),
             {ID_APP_ABOUT, std::string("&About ") + kProgramName + "..."}}};
}

}  // namespace

std::optional<CommandRoute> RouteOfCommand(int id) {
    if (IsEditorCommand(id)) return CommandRoute{FrameAction::EditorCommand, 0, 0, Guard::None};
    const auto& routes = Routes();
    auto it = routes.find(id);
    if (it == routes.end()) return std::nullopt;
    return it->second;
}

bool IsEditorCommand(int id) {
    return std::find(std::begin(kEditorIds), std::end(kEditorIds), id) != std::end(kEditorIds);
}

bool ExecuteCommand(int id, CommandContext& context) {
    const std::optional<CommandRoute> route = RouteOfCommand(id);
    if (!route) return false;
    switch (route->guard) {
        case Guard::None:
            break;
        case Guard::Confirm: {
            const unsigned flags = platform::MB_YESNO | platform::MB_ICONWARNING;
            if (context.IsOscilloscopeVisible() &&
                context.Ask("Close Oscilloscope; confirm?", kProgramName, flags) != platform::IDYES)
                return false;
            if (context.IsDriveSetupVisible() &&
                context.Ask("Close Drive Setup; confirm?", kProgramName, flags) != platform::IDYES)
                return false;
            break;
        }
        case Guard::Programmable:
            if (!context.IsProgrammable()) {
                context.Ask("This is not a programmable drive!", "Run/stop PLC program",
                            platform::MB_OK | platform::MB_ICONEXCLAMATION);
                return false;
            }
            break;
        case Guard::NoOtherWindows:
            if (context.IsDriveSetupOrToolWindowOpen()) {
                context.Ask("Please close other windows before editing user motors", "User motors",
                            platform::MB_OK);
                return false;
            }
            break;
        case Guard::HasArchive:
            if (!context.HasArchive()) return false;
            break;
    }
    if (route->action == FrameAction::Post)
        context.PostToMainDialog(route->message, route->wParam);
    else
        context.RunFrameAction(route->action, id);
    return true;
}

int MenuResourceOf(DeviceFamily family) {
    switch (family) {
        case DeviceFamily::Xul:
            return 1073;
        case DeviceFamily::Supply:
            return 1071;
        case DeviceFamily::Kwz:
            return 1072;
        case DeviceFamily::Drive:
            break;
    }
    return 604;
}

int ToolbarResourceOf(DeviceFamily family, bool programmable) {
    switch (family) {
        case DeviceFamily::Xul:
            return 1317;
        case DeviceFamily::Supply:
            return 1068;
        case DeviceFamily::Kwz:
            return programmable ? 1311 : 1069;
        case DeviceFamily::Drive:
            break;
    }
    return programmable ? 1310 : 602;
}

std::vector<MenuSpec> DeviceMenu(DeviceFamily family, bool programmable) {
    std::vector<MenuSpec> menus{FileMenu()};
    switch (family) {
        case DeviceFamily::Xul:
            menus.push_back({0,
                             "&Xul",
                             {{ID_XUL_SETUP, "Xul setup..."},
                              {ID_XUL_ENABLE, "Xul enable"},
                              {ID_XUL_DISABLE, "Xul disable"},
                              Separator(),
                              {ID_SHOW_ERRORS, "Show errors..."}}});
            menus.push_back(ToolsMenu(false));
            break;
        case DeviceFamily::Supply:
            menus.push_back({0,
                             "&Supply",
                             {{ID_SUPPLY_SETUP, "Supply setup..."},
                              {ID_SHOW_ERRORS, "Show errors..."},
                              Separator(),
                              {ID_DOWNLOAD_FIRMWARE, "Download &firmware..."},
                              {ID_PERMANENT_MEMORY, "Permanent &memory..."}}});
            menus.push_back(ToolsMenu(false));
            break;
        case DeviceFamily::Drive:
        case DeviceFamily::Kwz:
            menus.push_back(FirmwareItems({{ID_DRIVE_SETUP, "Drive setup..."},
                                           {ID_DRIVE_ENABLE, "Drive enable"},
                                           {ID_DRIVE_DISABLE, "Drive disable"},
                                           {ID_SHOW_ERRORS, "Show errors..."},
                                           UserMotorsMenu()}));
            if (programmable) {
                menus.push_back(ProgramMenu());
                menus.push_back(EditMenu());
            }
            menus.push_back(ToolsMenu(true));
            break;
    }
    menus.push_back(ViewMenu());
    menus.push_back(HelpMenu());
    return menus;
}

std::vector<ToolSpec> DeviceToolbar(DeviceFamily family, bool programmable) {
    // Each tool's picture is the PNG resource of its command id.
    auto tool = [](int id, const char* tip) { return ToolSpec(id, id, tip); };
    std::vector<ToolSpec> tools{tool(ID_NEW_CONNECTION, "New connection"), ToolSpec()};
    switch (family) {
        case DeviceFamily::Xul:
            tools.push_back(tool(ID_XUL_SETUP, "Xul setup"));
            tools.push_back(tool(ID_XUL_ENABLE, "Xul enable"));
            tools.push_back(tool(ID_XUL_DISABLE, "Xul disable"));
            break;
        case DeviceFamily::Supply:
            tools.push_back(tool(ID_SUPPLY_SETUP, "Supply setup"));
            break;
        case DeviceFamily::Drive:
        case DeviceFamily::Kwz:
            tools.push_back(tool(ID_DRIVE_SETUP, "Drive setup"));
            tools.push_back(tool(ID_OSCILLOSCOPE, "Oscilloscope"));
            tools.push_back(tool(ID_TUNING, "Tuning"));
            tools.push_back(ToolSpec());
            tools.push_back(tool(ID_DRIVE_ENABLE, "Drive enable"));
            tools.push_back(tool(ID_DRIVE_DISABLE, "Drive disable"));
            if (programmable) {
                tools.push_back(ToolSpec());
                tools.push_back(tool(32788, "Compile"));
                tools.push_back(tool(ID_RUN_STOP_PLC, "Run/Stop PLC"));
            }
            break;
    }
    tools.push_back(tool(ID_SHOW_ERRORS, "Show errors"));
    tools.push_back(ToolSpec());
    tools.push_back(tool(ID_HELP_PROGRAM, "Help"));
    return tools;
}

std::vector<int> CommandIdsOf(const std::vector<MenuSpec>& menus) {
    std::vector<int> ids;
    for (const MenuSpec& m : menus) {
        if (!m.children.empty()) {
            std::vector<int> sub = CommandIdsOf(m.children);
            ids.insert(ids.end(), sub.begin(), sub.end());
        } else if (m.id != 0) {
            ids.push_back(m.id);
        }
    }
    return ids;
}

DeviceFamily DeviceFamilyOf(int familyCode, bool supplyUnit, bool kwz) {
    if (familyCode == 10) return DeviceFamily::Xul;
    if (supplyUnit) return DeviceFamily::Supply;
    if (kwz) return DeviceFamily::Kwz;
    return DeviceFamily::Drive;
}

bool IsCommandDisabled(const std::map<uint32_t, uint32_t>* states, int id) {
    if (states == nullptr || id < 0) return false;
    const auto it = states->find(static_cast<uint32_t>(id));
    return it != states->end() && (it->second & kCommandDisabled) != 0;
}

std::string LockIndicatorText(LockKey key, bool on) {
    if (!on) return {};
    switch (key) {
        case LockKey::Caps:
            return "CAP";
        case LockKey::Num:
            return "NUM";
        case LockKey::Scroll:
            return "SCRL";
    }
    return {};
}

}  // namespace app
