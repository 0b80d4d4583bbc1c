#pragma once

#include <span>

#include "platform/CodeText.h"

namespace engine {

// The engine's error codes and the fixed texts that go with them. Codes are negative for engine
// failures; positive numbers are protocol results passed up from a driver. One code may stand
// for several failures, each with its own text.

namespace engine_code {

constexpr int kOk = 0;
constexpr int kTooManyNodes = -1;
constexpr int kVocabularyMissing = -1;
constexpr int kCyclicNotPaused = -1;
constexpr int kTooManyCyclicItems = -2;
constexpr int kBadChannelType = -5;
constexpr int kNoIdentification = -10;
constexpr int kLibraryNotLoaded = -10;
constexpr int kNodeLockFailed = -11;
constexpr int kLibraryMissing = -11;
constexpr int kNotOnSimulated = -20;
constexpr int kNoModbusAddress = -30;
constexpr int kWrongChannel = -31;
constexpr int kChannelSlotEmpty = -32;
constexpr int kChannelNoDriver = -33;
constexpr int kBadCyclicRequest = -36;
constexpr int kCyclicCreate = -37;
constexpr int kOpenFile = -37;
constexpr int kCyclicTerminate = -38;
constexpr int kWriteFile = -38;
constexpr int kThreadStart = -41;
constexpr int kPrepareThread = -43;
constexpr int kTransferBusy = -50;
constexpr int kDomainSizeMustBeZero = -302;
constexpr int kOnlyViaBridge = -302;
constexpr int kCellNotFound = -303;
constexpr int kUnknownGroup = -303;
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
constexpr const char* kCyclicNotPaused = "the cyclic thread did not pause";
constexpr const char* kTooManyCyclicItems = "troppi item ciclici";
constexpr const char* kNotOnSimulated = "not implemented on simulated nodes";
constexpr const char* kNotWritableModbus = "Item not writable in Modbus connection";
constexpr const char* kNotReadableModbus = "Item not readable in Modbus connection";
constexpr const char* kWrongChannel = "wrong channel";
constexpr const char* kChannelNotFound = "internal error:channel not found";
constexpr const char* kNoNotifyWindow = "hWndNotify non \xC3\xA8 una finestra esistente";
constexpr const char* kBothRatesZero = "RateWhenSelected e RateWhenNoSelected sono entrambi 0";
constexpr const char* kCyclicCreate = "Error creating cyclic thread";
constexpr const char* kCyclicTerminate = "Error terminating cyclic thread";
constexpr const char* kThreadStart = "starting thread Upload";
constexpr const char* kPrepareThread = "starting Firmware prepare thread";
constexpr const char* kTransferBusy = "node busy in downloading or uploading";
constexpr const char* kDomainSizeMustBeZero = "domain cell size must be 0";
constexpr const char* kOnlyViaBridge = "implemented only via Vesk bridge";
constexpr const char* kHolderTooSmall = "a cell holder carries at most 4 bytes";
constexpr const char* kCellNotFound = "cell item not found";
constexpr const char* kUnknownGroup = "unknown group";
constexpr const char* kNodeNotFound = "node not found";
constexpr const char* kNodeBusy = "node busy";
constexpr const char* kNotReadable = "Item not readable";
constexpr const char* kNotWritable = "Item not writable";
constexpr const char* kNodeChanged = "the node is changed";
constexpr const char* kNodeNotDisconnected =
    "new node found but it isn't disconnected, please use NodeConnect() function";
constexpr const char* kNodeUnknownForDisconnect = "node not found, please use NodeConnect() function";

// Texts that go with no code of their own.
constexpr const char* kLockFailedLog = "Nodo Lock failed, timeout or fail";
constexpr const char* kNodeguardCreate = "creating nodeguard thread";

}  // namespace engine_text

// Every failure with a fixed text, in the order of the codes; a code that stands for several
// failures has one row each, the most common first.
inline constexpr platform::CodeText<int> kEngineCodeTexts[] = {
    {engine_code::kTooManyNodes, engine_text::kTooManyNodes},
    {engine_code::kVocabularyMissing, engine_text::kVocabularyNotFound},
    {engine_code::kCyclicNotPaused, engine_text::kCyclicNotPaused},
    {engine_code::kTooManyCyclicItems, engine_text::kTooManyCyclicItems},
    {engine_code::kNotOnSimulated, engine_text::kNotOnSimulated},
    {engine_code::kNoModbusAddress, engine_text::kNotWritableModbus},
    {engine_code::kNoModbusAddress, engine_text::kNotReadableModbus},
    {engine_code::kWrongChannel, engine_text::kWrongChannel},
    {engine_code::kChannelSlotEmpty, engine_text::kChannelNotFound},
    {engine_code::kChannelNoDriver, engine_text::kChannelNotFound},
    {engine_code::kBadCyclicRequest, engine_text::kBothRatesZero},
    {engine_code::kBadCyclicRequest, engine_text::kNoNotifyWindow},
    {engine_code::kCyclicCreate, engine_text::kCyclicCreate},
    {engine_code::kCyclicTerminate, engine_text::kCyclicTerminate},
    {engine_code::kThreadStart, engine_text::kThreadStart},
    {engine_code::kPrepareThread, engine_text::kPrepareThread},
    {engine_code::kTransferBusy, engine_text::kTransferBusy},
    {engine_code::kDomainSizeMustBeZero, engine_text::kDomainSizeMustBeZero},
    {engine_code::kOnlyViaBridge, engine_text::kOnlyViaBridge},
    {engine_code::kOnlyViaBridge, engine_text::kHolderTooSmall},
    {engine_code::kCellNotFound, engine_text::kCellNotFound},
    {engine_code::kUnknownGroup, engine_text::kUnknownGroup},
    {engine_code::kNodeNotFound, engine_text::kNodeNotFound},
    {engine_code::kNoVocabulary, engine_text::kVocabularyNotFound},
    {engine_code::kNodeBusy, engine_text::kNodeBusy},
    {engine_code::kNotReadable, engine_text::kNotReadable},
    {engine_code::kNotWritable, engine_text::kNotWritable},
    {engine_code::kNodeChanged, engine_text::kNodeChanged},
    {engine_code::kNodeNotDisconnected, engine_text::kNodeNotDisconnected},
    {engine_code::kNodeUnknownForDisconnect, engine_text::kNodeUnknownForDisconnect},
};

// The first fixed text of an engine code; null for codes without one.
constexpr const char* EngineCodeText(int code) {
    return platform::FindCodeText<int>(kEngineCodeTexts, code);
}

}  // namespace engine
