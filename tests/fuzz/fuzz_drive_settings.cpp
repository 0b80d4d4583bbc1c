// Feeds arbitrary file contents to the settings readers and the motor database loader.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "drive/MotorDatabase.h"
#include "drive/SettingsFile.h"
#include "foundation/XmlNode.h"

using namespace foundation;
using namespace drive;

namespace {

std::filesystem::path g_folder;

class Host : public ISettingsHost {
  public:
    void SetChannelVariable(int, const std::string&) override {}
    void AssignChannels() override {}
    std::string GetChannelVariable(int) const override { return {}; }
    void SaveUnitSettings(CXmlNode&) override {}
    void LoadUnitSettings(const CXmlNode&) override {}
    bool IsDescriptionVariable(const std::string& name) const override { return !name.empty(); }
    ScreenArea VirtualScreen() const override { return {}; }
};

void WriteFile(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/fuzz_drive_settings_XXXXXX";
    if (const char* dir = ::mkdtemp(pattern)) g_folder = dir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path program = CSettingsFile::ProgramSettingsPath(g_folder);
    WriteFile(program, data, size);
    WriteFile(CSettingsFile::DeviceSettingsPath(program, 1, false), data, size);
    CDriveSettings settings;
    Host host;
    CSettingsFile file(settings, host);
    file.SetDefaultSettings();
    file.LoadProgramSettings(program, true);
    DeviceSettingsContext context;
    context.connected = true;
    context.deviceGroup = 1;
    file.LoadDeviceSettings(program, context);

    WriteFile(g_folder / "Motors.xml", data, size);
    WriteFile(g_folder / "UserMotors.xml", data, size);
    std::filesystem::remove(g_folder / "MotorsUser.xml");
    CMotorDatabase db;
    MotorDriveInfo drive;
    db.LoadMotorDatabase(g_folder, g_folder, drive);
    return 0;
}
