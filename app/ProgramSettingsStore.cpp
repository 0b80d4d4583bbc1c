#include "app/ProgramSettingsStore.h"

#include "drive/SettingsFile.h"
#include "foundation/XmlDocument.h"
#include "platform/Prompt.h"

namespace app {

struct CProgramSettingsStore::Impl : public drive::ISettingsHost {
    explicit Impl(ProgramSettingsHooks h) : hooks(std::move(h)) { file.SetDefaultSettings(); }

    void SetChannelVariable(int channel, const std::string& name) override {
        if (channel >= 0 && channel < 4) channels[static_cast<size_t>(channel)] = name;
    }
    void AssignChannels() override {}
    std::string GetChannelVariable(int channel) const override {
        return channel >= 0 && channel < 4 ? channels[static_cast<size_t>(channel)] : std::string();
    }
    void SaveUnitSettings(foundation::CXmlNode& ua) override {
        if (hooks.saveUnits) hooks.saveUnits(ua);
    }
    void LoadUnitSettings(const foundation::CXmlNode& ua) override {
        if (hooks.loadUnits) hooks.loadUnits(ua);
    }
    bool IsDescriptionVariable(const std::string& name) const override {
        return hooks.isVariable && hooks.isVariable(name);
    }
    drive::ScreenArea VirtualScreen() const override {
        return {hooks.left, hooks.top, hooks.width, hooks.height};
    }

    ProgramSettingsHooks hooks;
    drive::CDriveSettings settings;
    drive::CSettingsFile file{settings, *this};
    std::array<std::string, 4> channels;
};

CProgramSettingsStore::CProgramSettingsStore(ProgramSettingsHooks hooks)
    : impl_(std::make_unique<Impl>(std::move(hooks))) {}

CProgramSettingsStore::~CProgramSettingsStore() = default;

bool CProgramSettingsStore::Load(const std::filesystem::path& path, std::array<std::string, 4>& shown) {
    foundation::CXmlDocument probe;
    if (probe.Load(path) != foundation::S_OK || probe.Root().Name() != drive::CSettingsFile::kRootName) {
        platform::Prompts().MessageBox("'" + path.string() + "' is not a configuration file",
                                       "Open configuration file", platform::MB_OK | platform::MB_ICONSTOP);
        return false;
    }
    if (!impl_->file.LoadProgramSettings(path)) return false;
    for (size_t i = 0; i < 4; ++i) shown[i] = impl_->settings.Var[i];
    return true;
}

bool CProgramSettingsStore::Save(const std::filesystem::path& path, const std::array<std::string, 4>& shown,
                                 std::string* error) {
    for (size_t i = 0; i < 4; ++i) impl_->settings.Var[i] = shown[i];
    return impl_->file.SaveProgramSettings(path, error);
}

}  // namespace app
