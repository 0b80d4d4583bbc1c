// Feeds arbitrary file contents to the settings readers and the motor database loader.
//
// Input: the files' texts one after the other, split at the byte 0x1E: the program settings, the
// device settings, "Motors.xml", the old-format user motors "UserMotors.xml" and, when a fifth
// part is given, "MotorsUser.xml" (without it the old file is converted). Missing parts are
// missing files.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
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

constexpr char kSeparator = '\x1E';
constexpr size_t kParts = 5;

// Writes the part, or removes the file when the input has no such part.
void WritePart(const std::filesystem::path& path, const std::vector<std::string_view>& parts, size_t index) {
    std::error_code ec;
    if (index >= parts.size()) {
        std::filesystem::remove(path, ec);
        return;
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(parts[index].data(), static_cast<std::streamsize>(parts[index].size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_folder = fuzz::ScratchFolder("fuzz_drive_settings");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string_view> parts;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    for (;;) {
        const size_t end = parts.size() + 1 < kParts ? rest.find(kSeparator) : std::string_view::npos;
        parts.push_back(rest.substr(0, end));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    const std::filesystem::path program = CSettingsFile::ProgramSettingsPath(g_folder);
    WritePart(program, parts, 0);
    WritePart(CSettingsFile::DeviceSettingsPath(program, 1, false), parts, 1);
    CDriveSettings settings;
    Host host;
    CSettingsFile file(settings, host);
    file.SetDefaultSettings();
    file.LoadProgramSettings(program, true);
    DeviceSettingsContext context;
    context.connected = true;
    context.deviceGroup = 1;
    file.LoadDeviceSettings(program, context);

    WritePart(g_folder / "Motors.xml", parts, 2);
    WritePart(g_folder / CMotorDatabase::kOldUserFile, parts, 3);
    WritePart(g_folder / CMotorDatabase::kUserFile, parts, 4);
    CMotorDatabase db;
    MotorDriveInfo drive;
    db.LoadMotorDatabase(g_folder, g_folder, drive);
    return 0;
}
