#pragma once

namespace engine {

// The engine's error codes and the fixed texts that go with them. Codes are negative for engine
// failures; positive numbers are protocol results passed up from a driver.

namespace engine_code {

constexpr int kOk = 0;
constexpr int kTooManyNodes = -1;
constexpr int kVocabularyMissing = -1;
constexpr int kTooManyCyclicItems = -2;
constexpr int kBadChannelType = -5;
constexpr int kNoIdentification = -10;
constexpr int kNodeLockFailed = -11;
constexpr int kNotOnSimulated = -20;
constexpr int kNoModbusAddress = -30;
constexpr int kWrongChannel = -31;
constexpr int kChannelSlotEmpty = -32;
constexpr int kChannelNoDriver = -33;
constexpr int kTransferBusy = -50;
constexpr int kCellNotFound = -303;
constexpr int kNodeNotFound = -304;
constexpr int kNoVocabulary = -305;
constexpr int kNodeBusy = -306;
constexpr int kNotReadable = -308;
constexpr int kNotWritable = -309;
constexpr int kNodeChanged = -310;
constexpr int kNodeNotDisconnected = -311;
constexpr int kNodeUnknownForDisconnect = -311;
// Channel type without a driver (reads and writes), or bridge/ADS not connected (block transfers).
constexpr int kNoDriverResult = 1;

}  // namespace engine_code

namespace engine_text {

constexpr const char* kTooManyNodes = "too many nodes";
constexpr const char* kVocabularyNotFound = "internal error:vocabulary not found";
constexpr const char* kNotOnSimulated = "not implemented on simulated nodes";
constexpr const char* kNotWritableModbus = "Item not writable in Modbus connection";
constexpr const char* kNotReadableModbus = "Item not readable in Modbus connection";
constexpr const char* kWrongChannel = "wrong channel";
constexpr const char* kChannelNotFound = "internal error:channel not found";
constexpr const char* kTransferBusy = "node busy in downloading or uploading";
constexpr const char* kCellNotFound = "cell item not found";
constexpr const char* kNodeNotFound = "node not found";
constexpr const char* kNodeBusy = "node busy";
constexpr const char* kNotReadable = "Item not readable";
constexpr const char* kNotWritable = "Item not writable";
constexpr const char* kNodeChanged = "the node is changed";
constexpr const char* kNodeNotDisconnected =
    "new node found but it isn't disconnected, please use NodeConnect() function";
constexpr const char* kNodeUnknownForDisconnect = "node not found, please use NodeConnect() function";
constexpr const char* kLockFailedLog = "Nodo Lock failed, timeout or fail";

}  // namespace engine_text

}  // namespace engine
