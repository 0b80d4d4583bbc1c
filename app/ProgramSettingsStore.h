#pragma once
// Configuration files as the main dialog's commands load and save them: the program's working
// choices kept as a settings document. Apart from the drive object's headers, whose connection
// record the settings files define a second time.

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace foundation {
class CXmlNode;
}  // namespace foundation

namespace app {

struct ProgramSettingsHooks {
    // The unit converter's "UA" element, written and read.
    std::function<void(foundation::CXmlNode&)> saveUnits;
    std::function<void(const foundation::CXmlNode&)> loadUnits;
    // True when the drive description knows the variable (by its title).
    std::function<bool(const std::string&)> isVariable;
    // The whole desktop the message bar must stay on.
    int left = 0, top = 0, width = 1920, height = 1080;
};

class CProgramSettingsStore {
  public:
    explicit CProgramSettingsStore(ProgramSettingsHooks hooks);
    ~CProgramSettingsStore();
    CProgramSettingsStore(const CProgramSettingsStore&) = delete;
    CProgramSettingsStore& operator=(const CProgramSettingsStore&) = delete;

    // False (the user told) when the file is not a configuration file or was refused; the shown
    // variables come back on success.
    bool Load(const std::filesystem::path& file, std::array<std::string, 4>& shown);
    // False with the reason when the file could not be written (an older file stays whole).
    bool Save(const std::filesystem::path& file, const std::array<std::string, 4>& shown, std::string* error);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace app
