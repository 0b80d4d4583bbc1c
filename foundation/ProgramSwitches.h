#pragma once

#include <atomic>

namespace foundation {

// Program-wide switches that start-up sets from the registry (values "LogDebug",
// "LogErrors" and "mirel" under the product key) and the command line ("debug").
// Atomics: workers read them while the GUI thread may set them.

// Channels write their "Send "/"Recv " traces and protocol texts to the debug log.
inline std::atomic<bool> g_LogDebug{false};
// The serial and box channels keep an error log "Err<name>.txt" in the temporary folder.
inline std::atomic<bool> g_LogErrors{false};
// The channel list also offers the communication box (Modbus TCP).
inline std::atomic<bool> g_MirelBox{false};
// Debug mode: the "debug" command-line switch or the ";debug" access condition.
inline std::atomic<bool> g_DebugMode{false};
// The configuration-file sources also take the beta sibling folder and the further sources of
// the registry (machine-scope DWORD "Beta" under the product key, default 0).
inline std::atomic<bool> g_Beta{false};

// Reads the machine-scope DWORD values "LogDebug", "LogErrors", "Mirel" and "Beta" under the
// product key: a value that is read and non-zero turns its switch on, anything else turns it
// off. Debug mode is left alone (the start-up decides it from the command line and the user).
void ReadProgramSwitches();

}  // namespace foundation
