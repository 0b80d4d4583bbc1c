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

// Domain upload to the window that started it: wParam the phase (start, progress, done,
// error), lParam the size or error code. No payload.
constexpr unsigned kDomainUploadMessage = platform::WM_USER + 4;  // 1028

// Firmware prepare and download to the window that started them: wParam the phase, lParam
// its value. No payload.
constexpr unsigned kFirmwareDownloadMessage = platform::WM_USER + 154;  // 1178

// The extended combo box's private "set this text" to itself; the text travels in the box's
// own call, not in the message. No payload.
constexpr unsigned kComboSetTextMessage = platform::WM_USER + 64;  // 1088

// Every id above: a new one is added here too, so that a number taken twice fails the build.
inline constexpr unsigned kProgramMessageIds[] = {kEngineNotifyMessage, kDomainUploadMessage,
                                                  kFirmwareDownloadMessage, kComboSetTextMessage};

constexpr bool MessageIdsAreDistinct() {
    for (size_t i = 0; i < std::size(kProgramMessageIds); ++i)
        for (size_t j = i + 1; j < std::size(kProgramMessageIds); ++j)
            if (kProgramMessageIds[i] == kProgramMessageIds[j]) return false;
    return true;
}
static_assert(MessageIdsAreDistinct(), "two window messages share an id");

}  // namespace foundation
