#pragma once

// What the simulated drive takes from a drive description: its variables with their bus
// addresses, its identity, its system commands, its modes of operation and the signals its
// oscilloscope can record. The drive reads the same file the program reads about it.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CXmlNode;

namespace drivesim {

struct SimVariable {
    std::string name;
    std::optional<uint16_t> modbusAddress;
    std::optional<uint32_t> busKey;  // index << 8 | sub-index
    uint32_t size = 0;               // bytes; 0: a domain of any length
    bool isSigned = false;
    bool readable = false;
    bool writable = false;
    bool setting = false;  // kept in permanent memory
};

struct SimCommand {
    std::string name;
    std::string description;
    uint32_t value = 0;
    uint32_t waitStatus = 0;
    bool watchdog = false;
};

struct SimScopeChannel {
    int32_t code = 0;
    std::string variable;
    bool isFloat = false;
};

struct SimIdentity {
    uint32_t hardwareCode = 0;
    int32_t firmwareCode = 0;
    int32_t major = 0, minor = 0, patch = 0;
    uint32_t preState = 0, preNumber = 0;
    // The identity texts the drive hands out ("Hardware 12 v.1.0.0", "Firmware 1234 v.2.3.1").
    std::string HardwareText() const;
    std::string FirmwareText() const;
};

class SimDescription {
  public:
    bool Load(const std::filesystem::path& file, std::string* error);
    bool LoadText(std::string_view text, std::string* error);

    std::vector<SimVariable> variables;
    std::vector<SimCommand> commands;
    std::vector<SimScopeChannel> scopeChannels;
    std::vector<int8_t> modes;  // the modes of operation the drive offers
    SimIdentity identity;

    const SimVariable* Find(const std::string& name) const;
    const SimCommand* FindCommand(const std::string& name) const;
    const SimCommand* FindCommandValue(uint32_t value) const;

  private:
    bool Read(const CXmlNode& root, std::string* error);
};

// Decimal, or hexadecimal after "0x"; nothing else.
std::optional<int64_t> ParseSimNumber(std::string_view text);

}  // namespace drivesim
