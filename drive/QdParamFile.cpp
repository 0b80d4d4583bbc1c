#include "drive/ParamFileImport.h"
#include "drive/Qd.h"
#include "engine/Channel.h"
#include "engine/Main.h"
#include "foundation/ProgramFolders.h"

namespace drive {

int CQd::SaveParametersFileAs(platform::WindowHandle parent, int mode) {
    ParamFileSaveChooser chooser;
    if (paramFileChooser_) {
        chooser = [&](const ParamFileSaveSpec& spec, int* filterIndex) {
            ParamFileSaveSpec withParent = spec;
            withParent.parent = parent;
            return paramFileChooser_(withParent, filterIndex);
        };
    }
    ops_.fileOperation = true;
    const int rc =
        drive::SaveParametersFileAs(ParamFileDrive(), mode, chooser, foundation::kProgramName, paramFolder_);
    ops_.fileOperation = false;
    return rc;
}

bool CQd::ConfirmSaveAllParameters(platform::WindowHandle parent) {
    ParamSaveAllTarget target;
    target.online = IsConnected() && !IsOffline();
    target.suppressed = silent_ || IsHostMode();
    target.saveToPermanentMemory = [this] { return permanentSave_ ? permanentSave_() : -1; };
    target.saveFileAs = [this, parent](int mode) { return SaveParametersFileAs(parent, mode); };
    return drive::ConfirmSaveAllParameters(target, saveAllAnswer_);
}

std::string CQd::GetCellErrorText(int code) {
    // The engine's own channel numbering; read without clearing the engine's last error, which
    // the caller may still report.
    int type = ChannelType();
    if (engine::CMain* engine = EngineOrNull()) {
        const int index = engine->CurrentChannel();
        if (index >= 0 && index < engine->ChannelCount()) {
            if (const engine::CChannel* channel = engine->Channel(index)) type = channel->type;
        }
    }
    return CellErrorTextForChannel(code, type, description_.errorTable);
}

bool CQd::SkipsIn6Settings() const {
    return In6SettingsSkipped(static_cast<int32_t>(state_.hw), identity_.hardwareRevision);
}

}  // namespace drive
