#pragma once
#include <cstdint>
#include <string>

namespace engine {

// One drive variable of a vocabulary. Callers get whole copies of it (by name or by
// enumeration); the vocabulary's own chain link is kept outside this record.
struct VocabularyItem {
    // flags
    static constexpr uint8_t kReadable = 0x01;
    static constexpr uint8_t kWritable = 0x02;
    static constexpr uint8_t kNoBusAddress = 0x04;
    static constexpr uint8_t kNoModbusAddress = 0x08;
    // signAndHidden
    static constexpr uint8_t kSignMask = 0x03;
    static constexpr uint8_t kHidden = 0x04;
    // levels
    static constexpr uint16_t kNoAccessLevel = 65535;
    // class codes
    static constexpr int8_t kClassNone = 0;
    static constexpr int8_t kClassSetting = 1;
    static constexpr int8_t kClassCommand = 2;
    static constexpr int8_t kClassData = 3;
    static constexpr int8_t kClassOther = 10;
    static constexpr int32_t kDefaultRestore = -2;

    uint32_t id = 0;
    uint16_t busIndex = 0;
    uint8_t busSubIndex = 0;
    std::string vocabularyCondition = "1";
    uint16_t writeLevel = kNoAccessLevel;
    uint16_t readLevel = kNoAccessLevel;
    uint8_t flags = kNoBusAddress | kNoModbusAddress;
    std::string descr;
    std::string name;
    std::string title;  // empty: none
    uint16_t modbusAddress = 0;
    uint32_t size = 0;
    uint8_t signAndHidden = 0;
    int32_t restore = kDefaultRestore;
    std::string busAddress;  // empty: none (kNoBusAddress is set)
    int8_t itemClass = kClassNone;

    bool IsReadable() const { return flags & kReadable; }
    bool IsWritable() const { return flags & kWritable; }
    bool HasBusAddress() const { return !(flags & kNoBusAddress); }
    bool HasModbusAddress() const { return !(flags & kNoModbusAddress); }
    uint8_t Sign() const { return signAndHidden & kSignMask; }
    bool IsHidden() const { return signAndHidden & kHidden; }
    bool HasTitle() const { return !title.empty(); }
};

}  // namespace engine
