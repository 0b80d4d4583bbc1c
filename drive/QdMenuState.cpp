#include "drive/QdMenuState.h"

#include "drive/DriveValueHelpers.h"
#include "drive/Qd.h"

namespace drive {

namespace {

constexpr int kOperationEnabled = 4;
constexpr int32_t kFamily10 = 10;

}  // namespace

std::vector<CMenuEntry> MenuCommandStates(const CMenuFacts& f) {
    namespace id = menu_command;
    const bool restricted = f.open && f.bootOnly;
    const bool free = !restricted;
    const bool online = f.open && !f.offline;
    const bool ready = free && f.open && !f.scopeSheet;
    const bool editor =
        free && f.plcProgram && f.programTargetIndex >= 0 && f.programTargetIndex == f.programDriveIndex;

    std::vector<CMenuEntry> out;
    auto put = [&out](uint32_t command, bool enabled) { out.push_back({command, enabled}); };

    put(id::kNewConnection, true);
    put(id::kExportFirmware, free);
    put(id::kOptions, f.open && !f.scopeSheet);
    put(id::kCommStatus, f.open && !f.scopeSheet && online && f.connectionKind == connection_kind::kBridge);
    put(id::kCreateArchive, f.archive != 0);
    put(id::kInstallArchive, f.archive != 0);

    if (f.kind == CMenuDeviceKind::Family10) {
        put(id::kSaveParameters, free && !f.modeSaved && f.open);
        put(id::kDownloadParameters, free && online);
        put(id::kXulSetup, free && f.open);
        put(id::kOscilloscope, free && f.open);
        put(id::kPermanentMemory, free && online);
        put(id::kDownloadFirmware, f.fwUpdate);
        put(id::kShowErrors, free && online);
        put(id::kObjectDictionary, f.open);
        put(id::kXulEnable, !f.notOperational && free && online);
        put(id::kXulDisable, f.notOperational && free && online);
        put(id::kHardReset, free);
        put(id::kSoftReset, free);
        put(id::kResetToDefaults, free);
        return out;
    }

    const bool drive = f.kind == CMenuDeviceKind::Drive;
    const bool supply = f.kind == CMenuDeviceKind::SupplyUnit;
    const bool noFileFlags = !f.paramFileFlag1 && !f.paramFileFlag2;
    put(id::kImportParameters,
        supply ? free && f.offline && noFileFlags && !f.scopeSheet : ready && f.offline && noFileFlags);
    put(id::kSaveParameters, ready && !f.modeSaved);
    put(id::kDownloadParameters, ready && online);
    put(id::kObjectDictionary, f.open && !f.scopeSheet);
    put(id::kOscilloscope, ready);
    put(id::kShowErrors, ready && online);
    put(id::kPermanentMemory, ready && online);
    put(id::kDownloadFirmware, f.open && !f.scopeSheet && f.fwUpdate);
    if (drive) put(id::kDriveSetup, ready);
    if (supply) put(id::kSupplySetup, ready);
    if (drive) {
        const bool enableable = free && online && !f.scopeSheet && f.open;
        put(id::kTuning, ready);
        put(id::kDriveEnable, f.driveState != kOperationEnabled && enableable);
        put(id::kDriveDisable, f.driveState == kOperationEnabled && enableable);
        put(id::kHardReset, f.systemManager && free);
        put(id::kSoftReset, f.systemManager && free);
        put(id::kResetToDefaults, f.systemManager && free);
    }
    put(id::kRunStopPlc, ready && f.plcProgram && online);
    put(id::kEraseProgram, ready && f.plcProgram && online);
    for (const uint32_t command : id::kProgramEditor) put(command, ready && editor);
    put(id::kProgramDownload, ready && editor && online);
    put(id::kDownloadBinary, ready && editor && online);
    put(id::kProgramInfo, ready && editor && online);
    return out;
}

CMenuFacts CQd::GatherMenuFacts() {
    CMenuFacts f;
    f.open = connected_;
    f.bootOnly = state_.bootOnly;
    f.scopeSheet = Host().ScopeSheetOpen();
    f.offline = IsOffline();
    f.connectionKind = wnd_.Record().channelType;
    f.modeSaved = ops_.modeSaved;
    f.fwUpdate = identity_.fwUpdateApplies;
    f.plcProgram = menuInputs_.plcProgram;
    f.programTargetIndex = menuInputs_.programTargetIndex;
    f.programDriveIndex = menuInputs_.programDriveIndex;
    f.paramFileFlag1 = menuInputs_.paramFileFlag1;
    f.paramFileFlag2 = menuInputs_.paramFileFlag2;
    f.archive = menuInputs_.archive;
    f.systemManager = identity_.systemManager;
    f.driveState = DriveStateFromStatusword(menuInputs_.statusword);
    f.notOperational = menuInputs_.notOperational;
    if (state_.group == kFamily10)
        f.kind = CMenuDeviceKind::Family10;
    else if (menuInputs_.supplyUnit)
        f.kind = CMenuDeviceKind::SupplyUnit;
    else if (menuInputs_.programBox)
        f.kind = CMenuDeviceKind::ProgramBox;
    return f;
}

std::map<uint32_t, uint32_t>& CQd::CommandStateMap() {
    std::map<uint32_t, uint32_t>* map = Host().CommandStates();
    return map != nullptr ? *map : ownCommandStates_;
}

void CQd::UpdateMenuState() {
    for (const CMenuEntry& entry : MenuCommandStates(GatherMenuFacts()))
        SetCommandEnabled(entry.id, entry.enabled);
    Host().RefreshMenuState();
}

void CQd::SetCommandEnabled(uint32_t id, bool enabled) {
    // Only the disabled bit is ours: a check mark or an indeterminate state set by the dialog stays.
    uint32_t& state = CommandStateMap()[id];
    state = enabled ? state & ~kCommandDisabled : state | kCommandDisabled;
}

}  // namespace drive
