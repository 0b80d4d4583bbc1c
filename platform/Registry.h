#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class Scope { Machine, User };

// Store of keys and values, one small text file per scope. Key paths use
// backslashes ("SOFTWARE\\Brand\\Tunova\\Access") and, like value names, compare
// without regard to letter case. Every change is written at once (temp file +
// rename); reading skips damaged lines. Thread-safe.
class Registry {
  public:
    // The program-wide store: files from TUNOVA_REGISTRY_MACHINE / TUNOVA_REGISTRY_USER,
    // by default /etc/tunova/registry and $XDG_CONFIG_HOME/tunova/registry.
    static Registry& Instance();

    Registry(std::filesystem::path machineFile, std::filesystem::path userFile);
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    std::optional<uint32_t> GetDword(Scope scope, const std::string& key, const std::string& name);
    std::optional<std::string> GetString(Scope scope, const std::string& key, const std::string& name);
    bool SetDword(Scope scope, const std::string& key, const std::string& name, uint32_t value);
    bool SetString(Scope scope, const std::string& key, const std::string& name, const std::string& value);
    bool CreateKey(Scope scope, const std::string& key);
    // False when the value (key) did not exist or the file could not be written.
    bool DeleteValue(Scope scope, const std::string& key, const std::string& name);
    // Deletes the key with all its subkeys.
    bool DeleteKey(Scope scope, const std::string& key);
    bool KeyExists(Scope scope, const std::string& key);
    // Names of the direct subkeys (as first written), sorted case-insensitively.
    std::vector<std::string> EnumKeys(Scope scope, const std::string& key);
    std::vector<std::string> EnumValueNames(Scope scope, const std::string& key);
    // Reads both files again (changes made by other processes).
    void Reload();
    // Text of the last failed write.
    std::string LastError() const;
    const std::filesystem::path& File(Scope scope) const;

    // Serial ports: ttyS*, ttyUSB*, ttyACM* of /sys/class/tty that have a device,
    // then the string values under "HARDWARE\\DEVICEMAP\\SERIALCOMM" (user scope,
    // then machine scope), without repeats.
    std::vector<std::string> SerialPortList();
    // For tests of the /sys scan: the folder to scan instead of /sys/class/tty.
    void SetTtyClassFolder(std::filesystem::path folder);

  public:
    struct Value {
        enum class Type { Dword, String } type = Type::String;
        std::string name;  // as first written
        uint32_t dword = 0;
        std::string text;
    };
    struct Key {
        std::string name;                     // full path as first written
        std::map<std::string, Value> values;  // by lower-case name
    };
    struct Store {
        std::filesystem::path file;
        std::map<std::string, Key> keys;  // by lower-case normalised path
        bool loaded = false;
    };

  private:
    Store& StoreOf(Scope scope);
    void Load(Store& store);
    bool Save(Store& store);
    bool Apply(Scope scope, const std::function<bool(Store&)>& change);
    Value* FindValue(Scope scope, const std::string& key, const std::string& name);
    // Creates the key and the value where they are missing and stores what `value` holds.
    bool SetValue(Scope scope, const std::string& key, const std::string& name, const Value& value);

    mutable std::mutex mutex_;
    Store machine_;
    Store user_;
    std::string lastError_;
    std::filesystem::path ttyFolder_ = "/sys/class/tty";
};

// Registry::Instance().SerialPortList().
std::vector<std::string> SerialPortList();

}  // namespace platform
