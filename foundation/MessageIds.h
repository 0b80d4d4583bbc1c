#pragma once
// The program's own window message ids, one per receiver and meaning, so that no two windows
// pick the same number by chance. None of them carries memory in its parameters: wParam and
// lParam are plain codes and counts, and the receiver frees nothing.
#include <cstddef>
#include <iterator>

#include "platform/Messages.h"

namespace foundation {

// The engine's notices to the connection window (the engine's owner): node-guard changes
// (wParam the guard code, lParam channel, node and state packed) and the configuration-file
// index's progress (wParam 1, lParam the code). No payload.
constexpr unsigned kEngineNotifyMessage = platform::WM_USER + 123;  // 1147

// The connection window to itself: reconnect the node (the engine found it lost). No payload.
constexpr unsigned kConnectionReconnectMessage = platform::WM_USER + 0x96;  // 1174

// Domain upload to the window that started it: wParam the phase (start, progress, done,
// error), lParam the size or error code. No payload.
constexpr unsigned kDomainUploadMessage = platform::WM_USER + 4;  // 1028

// Firmware prepare and download to the window that started them: wParam the phase, lParam
// its value. No payload.
constexpr unsigned kFirmwareDownloadMessage = platform::WM_USER + 154;  // 1178

// The extended combo box's private "set this text" to itself; the text travels in the box's
// own call, not in the message. No payload.
constexpr unsigned kComboSetTextMessage = platform::WM_USER + 64;  // 1088

// The colour picker's notices to its holder, sent on the window thread: wParam the colour,
// lParam the picker's id. No payload. They follow each other in this order.
constexpr unsigned kColourPickerSelChangeMessage = platform::WM_USER + 1001;     // 2025, hot colour changed
constexpr unsigned kColourPickerDropDownMessage = platform::WM_USER + 1002;      // 2026, pop-up opened
constexpr unsigned kColourPickerCloseUpMessage = platform::WM_USER + 1003;       // 2027, pop-up closed
constexpr unsigned kColourPickerSelEndOkMessage = platform::WM_USER + 1004;      // 2028, colour accepted
constexpr unsigned kColourPickerSelEndCancelMessage = platform::WM_USER + 1005;  // 2029, choice cancelled

// Every id above: a new one is added here too, so that a number taken twice fails the build.
inline constexpr unsigned kProgramMessageIds[] = {
    kEngineNotifyMessage,         kConnectionReconnectMessage,
    kDomainUploadMessage,         kFirmwareDownloadMessage,
    kComboSetTextMessage,         kColourPickerSelChangeMessage,
    kColourPickerDropDownMessage, kColourPickerCloseUpMessage,
    kColourPickerSelEndOkMessage, kColourPickerSelEndCancelMessage};

constexpr bool MessageIdsAreDistinct() {
    for (size_t i = 0; i < std::size(kProgramMessageIds); ++i)
        for (size_t j = i + 1; j < std::size(kProgramMessageIds); ++j)
            if (kProgramMessageIds[i] == kProgramMessageIds[j]) return false;
    return true;
}
static_assert(MessageIdsAreDistinct(), "two window messages share an id");

}  // namespace foundation
