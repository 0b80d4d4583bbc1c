// The menu rules: which main-menu commands are enabled for the connection, the tuning sheet and
// the device kind, as a table of facts, and the drive object filling the main dialog's map.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "drive/Qd.h"
#include "drive/QdMenuState.h"
#include "foundation/XmlDocument.h"
#include "tests/drive/DriveObjectTestSupport.h"

using namespace drive;
namespace id = drive::menu_command;

namespace {

std::set<uint32_t> Enabled(const CMenuFacts& facts) {
    std::set<uint32_t> out;
    for (const CMenuEntry& e : MenuCommandStates(facts))
        if (e.enabled) out.insert(e.id);
    return out;
}

std::set<uint32_t> Listed(const CMenuFacts& facts) {
    std::set<uint32_t> out;
    for (const CMenuEntry& e : MenuCommandStates(facts)) out.insert(e.id);
    return out;
}

bool IsEnabled(const CMenuFacts& facts, uint32_t command) {
    return Enabled(facts).count(command) != 0;
}

// An online drive with everything it may offer: PLC, program editor, system manager, firmware
// update, archives, bridge connection.
CMenuFacts RichOnlineDrive() {
    CMenuFacts f;
    f.open = true;
    f.connectionKind = connection_kind::kBridge;
    f.fwUpdate = true;
    f.plcProgram = true;
    f.programTargetIndex = 2;
    f.programDriveIndex = 2;
    f.archive = 1;
    f.systemManager = true;
    f.driveState = 2;
    return f;
}

const std::set<uint32_t> kResets = {id::kHardReset, id::kSoftReset, id::kResetToDefaults};

}  // namespace

TEST(MenuRules, NoDriveOpenLeavesOnlyConnectionFirmwareExportAndArchives) {
    struct Case {
        CMenuDeviceKind kind;
        int32_t archive;
        std::set<uint32_t> enabled;
    };
    const Case cases[] = {
        {CMenuDeviceKind::Drive, 0, {id::kNewConnection, id::kExportFirmware}},
        {CMenuDeviceKind::Drive,
         3,
         {id::kNewConnection, id::kExportFirmware, id::kCreateArchive, id::kInstallArchive}},
        {CMenuDeviceKind::SupplyUnit, 0, {id::kNewConnection, id::kExportFirmware}},
        {CMenuDeviceKind::ProgramBox,
         -1,
         {id::kNewConnection, id::kExportFirmware, id::kCreateArchive, id::kInstallArchive}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind) * 100 + c.archive);
        CMenuFacts f;
        f.kind = c.kind;
        f.archive = c.archive;
        // What a closed connection may leave behind changes nothing.
        f.plcProgram = true;
        f.systemManager = false;
        f.programTargetIndex = f.programDriveIndex = 0;
        EXPECT_EQ(Enabled(f), c.enabled);
    }
}

TEST(MenuRules, TuningSheetDisablesEveryDriveCommandButResetsWithSystemManager) {
    for (const bool sys : {false, true}) {
        SCOPED_TRACE(sys);
        CMenuFacts f = RichOnlineDrive();
        f.systemManager = sys;
        f.scopeSheet = true;
        std::set<uint32_t> expected = {id::kNewConnection, id::kExportFirmware, id::kCreateArchive,
                                       id::kInstallArchive};
        if (sys) expected.insert(kResets.begin(), kResets.end());
        EXPECT_EQ(Enabled(f), expected);

        // Closing the sheet gives the commands back.
        f.scopeSheet = false;
        const std::set<uint32_t> open = Enabled(f);
        for (const uint32_t command : {id::kOptions, id::kTuning, id::kOscilloscope, id::kProgramDownload,
                                       id::kDownloadFirmware, id::kCommStatus})
            EXPECT_EQ(open.count(command), 1u) << command;
    }
}

TEST(MenuRules, ParametersFileImportOfflineDownloadOnline) {
    struct Case {
        CMenuDeviceKind kind;
        bool offline, flag1, flag2, scope;
        bool importEnabled, downloadEnabled;
    };
    const Case cases[] = {
        {CMenuDeviceKind::Drive, true, false, false, false, true, false},
        {CMenuDeviceKind::Drive, false, false, false, false, false, true},
        {CMenuDeviceKind::Drive, true, true, false, false, false, false},
        {CMenuDeviceKind::Drive, true, false, true, false, false, false},
        {CMenuDeviceKind::ProgramBox, true, false, false, false, true, false},
        {CMenuDeviceKind::ProgramBox, false, false, false, false, false, true},
        {CMenuDeviceKind::SupplyUnit, true, false, false, false, true, false},
        {CMenuDeviceKind::SupplyUnit, true, false, false, true, false, false},
        {CMenuDeviceKind::SupplyUnit, false, false, false, false, false, true},
        {CMenuDeviceKind::Family10, false, false, false, false, false, true},
        {CMenuDeviceKind::Family10, true, false, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.kind) << " offline " << c.offline << " flags "
                                        << c.flag1 << c.flag2 << " scope " << c.scope);
        CMenuFacts f;
        f.open = true;
        f.kind = c.kind;
        f.offline = c.offline;
        f.paramFileFlag1 = c.flag1;
        f.paramFileFlag2 = c.flag2;
        f.scopeSheet = c.scope;
        EXPECT_EQ(IsEnabled(f, id::kImportParameters), c.importEnabled);
        EXPECT_EQ(IsEnabled(f, id::kDownloadParameters), c.downloadEnabled);
        // Offline there is no drive to read errors from or to save in permanent memory.
        EXPECT_EQ(IsEnabled(f, id::kShowErrors), !c.offline && !c.scope);
        EXPECT_EQ(IsEnabled(f, id::kPermanentMemory), !c.offline && !c.scope);
    }
}

TEST(MenuRules, DriveEnableAndDisableFollowTheDriveState) {
    struct Case {
        int state;
        bool online, boot;
        bool enable, disable;
    };
    const Case cases[] = {
        {4, true, false, false, true},    // operation enabled
        {2, true, false, true, false},    // ready to switch on
        {0, true, false, true, false},    // not ready
        {4, false, false, false, false},  // offline: neither
        {2, true, true, false, false},    // boot program only: neither
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "state " << c.state << " online " << c.online << " boot " << c.boot);
        CMenuFacts f = RichOnlineDrive();
        f.driveState = c.state;
        f.offline = !c.online;
        f.bootOnly = c.boot;
        EXPECT_EQ(IsEnabled(f, id::kDriveEnable), c.enable);
        EXPECT_EQ(IsEnabled(f, id::kDriveDisable), c.disable);
    }
}

TEST(MenuRules, BootProgramOnlyKeepsConnectionOptionsDictionaryAndFirmware) {
    CMenuFacts f = RichOnlineDrive();
    f.bootOnly = true;
    // Restricted: exporting firmware and the drive's own commands go; what repairs it stays.
    EXPECT_EQ(Enabled(f),
              (std::set<uint32_t>{id::kNewConnection, id::kOptions, id::kCommStatus, id::kCreateArchive,
                                  id::kInstallArchive, id::kObjectDictionary, id::kDownloadFirmware}));
    // Boot-only without an open drive is not restricted.
    f.open = false;
    EXPECT_TRUE(IsEnabled(f, id::kExportFirmware));
}

TEST(MenuRules, ConnectionStatusOnlyOnlineThroughTheBridge) {
    struct Case {
        int kind;
        bool offline;
        bool enabled;
    };
    const Case cases[] = {{connection_kind::kBridge, false, true},
                          {connection_kind::kBridge, true, false},
                          {connection_kind::kLibrary, false, false},
                          {connection_kind::kSerial, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.kind << " " << c.offline);
        CMenuFacts f = RichOnlineDrive();
        f.connectionKind = c.kind;
        f.offline = c.offline;
        EXPECT_EQ(IsEnabled(f, id::kCommStatus), c.enabled);
    }
}

TEST(MenuRules, ProgramEditorNeedsPlcAndItsTargetDrive) {
    struct Case {
        bool plc;
        int32_t target, drive;
        bool online;
        bool editor, download;
    };
    const Case cases[] = {
        {true, 2, 2, true, true, true},   {true, 2, 2, false, true, false},
        {true, 0, 0, true, true, true},   {true, -1, -1, true, false, false},
        {true, 1, 2, true, false, false}, {false, 2, 2, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.plc << " " << c.target << "/" << c.drive << " " << c.online);
        CMenuFacts f = RichOnlineDrive();
        f.plcProgram = c.plc;
        f.programTargetIndex = c.target;
        f.programDriveIndex = c.drive;
        f.offline = !c.online;
        const std::set<uint32_t> enabled = Enabled(f);
        for (const uint32_t command : id::kProgramEditor)
            EXPECT_EQ(enabled.count(command), c.editor ? 1u : 0u);
        for (const uint32_t command : {id::kProgramDownload, id::kDownloadBinary, id::kProgramInfo})
            EXPECT_EQ(enabled.count(command), c.download ? 1u : 0u) << command;
        EXPECT_EQ(enabled.count(id::kRunStopPlc), c.plc && c.online ? 1u : 0u);
        EXPECT_EQ(enabled.count(id::kEraseProgram), c.plc && c.online ? 1u : 0u);
    }
}

TEST(MenuRules, SaveParametersWaitsForTheSavedModeOfOperation) {
    for (const CMenuDeviceKind kind : {CMenuDeviceKind::Drive, CMenuDeviceKind::Family10}) {
        CMenuFacts f = RichOnlineDrive();
        f.kind = kind;
        EXPECT_TRUE(IsEnabled(f, id::kSaveParameters));
        f.modeSaved = true;
        EXPECT_FALSE(IsEnabled(f, id::kSaveParameters));
    }
}

TEST(MenuRules, Family10HasItsOwnMenuWithoutTheTuningSheet) {
    CMenuFacts f;
    f.kind = CMenuDeviceKind::Family10;
    f.open = true;
    f.scopeSheet = true;  // not consulted for these devices
    f.systemManager = false;
    f.fwUpdate = true;

    struct Case {
        bool notOperational;
        std::set<uint32_t> enabled;
    };
    const std::set<uint32_t> common = {id::kNewConnection,      id::kExportFirmware,   id::kSaveParameters,
                                       id::kDownloadParameters, id::kXulSetup,         id::kOscilloscope,
                                       id::kPermanentMemory,    id::kDownloadFirmware, id::kShowErrors,
                                       id::kObjectDictionary,   id::kHardReset,        id::kSoftReset,
                                       id::kResetToDefaults};
    for (const bool v : {false, true}) {
        SCOPED_TRACE(v);
        f.notOperational = v;
        std::set<uint32_t> expected = common;
        expected.insert(v ? id::kXulDisable : id::kXulEnable);
        EXPECT_EQ(Enabled(f), expected);
    }

    // A family-10 device lists no drive-only, supply or program commands: they keep their states.
    const std::set<uint32_t> listed = Listed(f);
    for (const uint32_t absent : {id::kDriveSetup, id::kTuning, id::kDriveEnable, id::kImportParameters,
                                  id::kSupplySetup, id::kRunStopPlc, id::kProgramDownload})
        EXPECT_EQ(listed.count(absent), 0u) << absent;

    // Offline and restricted: firmware download still follows the update filter alone.
    f.offline = true;
    f.bootOnly = true;
    EXPECT_EQ(Enabled(f),
              (std::set<uint32_t>{id::kNewConnection, id::kDownloadFirmware, id::kObjectDictionary}));
    f.fwUpdate = false;
    EXPECT_FALSE(IsEnabled(f, id::kDownloadFirmware));
}

TEST(MenuRules, EachKindListsItsOwnSetupCommand) {
    struct Case {
        CMenuDeviceKind kind;
        bool driveSetup, supplySetup, driveOnly;
    };
    const Case cases[] = {{CMenuDeviceKind::Drive, true, false, true},
                          {CMenuDeviceKind::SupplyUnit, false, true, false},
                          {CMenuDeviceKind::ProgramBox, false, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        CMenuFacts f = RichOnlineDrive();
        f.kind = c.kind;
        const std::set<uint32_t> listed = Listed(f);
        EXPECT_EQ(listed.count(id::kDriveSetup), c.driveSetup ? 1u : 0u);
        EXPECT_EQ(listed.count(id::kSupplySetup), c.supplySetup ? 1u : 0u);
        for (const uint32_t command : {id::kTuning, id::kDriveEnable, id::kDriveDisable, id::kHardReset})
            EXPECT_EQ(listed.count(command), c.driveOnly ? 1u : 0u) << command;
        EXPECT_EQ(listed.count(id::kXulSetup), 0u);
        EXPECT_TRUE(IsEnabled(f, c.supplySetup ? id::kSupplySetup : id::kOscilloscope));
    }
}

namespace {

// The main dialog's side: its map and the tuning sheet.
class MapHost : public CQdHost {
  public:
    bool ScopeSheetOpen() const override { return scope; }
    std::map<uint32_t, uint32_t>* CommandStates() override { return hasMap ? &map : nullptr; }
    bool scope = false;
    bool hasMap = true;
    std::map<uint32_t, uint32_t> map;
};

}  // namespace

TEST(MenuStateOfTheDriveObject, FillsTheMainDialogsMapKeepingOtherBitsAndOtherKinds) {
    CQd qd(0);
    MapHost host;
    qd.SetHost(&host);
    // Left by a family-10 device, and a check mark the dialog set.
    host.map[id::kXulSetup] = 0;
    host.map[id::kOptions] = 2;
    qd.MenuInputs().archive = 1;
    qd.UpdateMenuState();

    EXPECT_EQ(host.map[id::kNewConnection], 0u);
    EXPECT_EQ(host.map[id::kExportFirmware], 0u);
    EXPECT_EQ(host.map[id::kCreateArchive], 0u);
    EXPECT_EQ(host.map[id::kOptions], 3u) << "disabled, with the check mark kept";
    EXPECT_EQ(host.map[id::kTuning], 1u);
    EXPECT_EQ(host.map[id::kXulSetup], 0u) << "another kind's command keeps its state";
    EXPECT_EQ(host.map.count(id::kXulEnable), 0u);
    for (const CMenuEntry& e : MenuCommandStates(qd.GatherMenuFacts()))
        EXPECT_EQ(host.map.count(e.id), 1u) << e.id;

    qd.SetCommandEnabled(id::kOptions, true);
    EXPECT_EQ(host.map[id::kOptions], 2u);
    qd.SetCommandEnabled(40000, false);
    EXPECT_EQ(host.map[40000], 1u) << "a new id is inserted";

    // Without the dialog's map the drive object keeps its own.
    host.hasMap = false;
    qd.UpdateMenuState();
    EXPECT_EQ(qd.CommandStateMap().at(id::kNewConnection), 0u);
    EXPECT_EQ(qd.CommandStateMap().at(id::kTuning), 1u);
    EXPECT_EQ(host.map.size(), qd.CommandStateMap().size() + 2) << "the dialog's map was left alone";
}

TEST(MenuStateOfTheDriveObject, FactsComeFromTheDriveObject) {
    CQd qd(0);
    MapHost host;
    host.scope = true;
    qd.SetHost(&host);
    qd.State().bootOnly = true;
    qd.State().group = 10;
    qd.Identity().fwUpdateApplies = true;
    qd.Identity().systemManager = true;
    qd.MenuInputs().statusword = 0x0237;  // operation enabled
    qd.MenuInputs().notOperational = true;
    qd.MenuInputs().supplyUnit = true;

    const CMenuFacts f = qd.GatherMenuFacts();
    EXPECT_FALSE(f.open);
    EXPECT_TRUE(f.bootOnly);
    EXPECT_TRUE(f.scopeSheet);
    EXPECT_TRUE(f.fwUpdate);
    EXPECT_TRUE(f.systemManager);
    EXPECT_EQ(f.driveState, 4);
    EXPECT_TRUE(f.notOperational);
    EXPECT_EQ(f.kind, CMenuDeviceKind::Family10) << "the family wins over the supply-unit flag";
    qd.State().group = 1;
    EXPECT_EQ(qd.GatherMenuFacts().kind, CMenuDeviceKind::SupplyUnit);
    qd.MenuInputs().supplyUnit = false;
    qd.MenuInputs().programBox = true;
    EXPECT_EQ(qd.GatherMenuFacts().kind, CMenuDeviceKind::ProgramBox);
}

TEST(MenuStateOfTheDriveObject, OfflineDriveFromAParametersFile) {
    drivetest::DriveTree tree;
    enginetest::PromptScope prompts;
    MapHost host;
    auto qd = std::make_unique<CQd>(0);
    qd->SetHost(&host);
    const std::filesystem::path file = tree.Root() / "saved.xml";
    std::ofstream(file)
        << "<DEVICE_PARAMETER Version=\"2\"><DEVICE Hw=\"12\" Type=\"1234\" SwRev=\"2\" HwRev=\"1\" "
           "Descr=\"Simulated servo drive\"><PARAMETERS>"
           "<DATA Name=\"PositionResolution\" Value=\"4096\"/>"
           "</PARAMETERS></DEVICE></DEVICE_PARAMETER>";
    foundation::CXmlDocument configuration;
    ASSERT_EQ(qd->OpenOfflineConnection(0, nullptr, file.string(), configuration), 0)
        << qd->ConnectionWindow().LastMessage();
    qd->UpdateMenuState();
    EXPECT_EQ(host.map[id::kImportParameters], 0u);
    EXPECT_EQ(host.map[id::kDownloadParameters], 1u);
    EXPECT_EQ(host.map[id::kSaveParameters], 0u);
    EXPECT_EQ(host.map[id::kDriveSetup], 0u);
    EXPECT_EQ(host.map[id::kOptions], 0u);
    EXPECT_EQ(host.map[id::kDriveEnable], 1u);
    EXPECT_EQ(host.map[id::kShowErrors], 1u);

    // The tuning sheet opens: the drive's commands go.
    host.scope = true;
    qd->UpdateMenuState();
    EXPECT_EQ(host.map[id::kImportParameters], 1u);
    EXPECT_EQ(host.map[id::kOptions], 1u);
    EXPECT_EQ(host.map[id::kNewConnection], 0u);

    host.scope = false;
    qd->CloseConnection(true);
    qd->UpdateMenuState();
    EXPECT_EQ(host.map[id::kImportParameters], 1u);
    EXPECT_EQ(host.map[id::kOptions], 1u);
    qd.reset();
}
