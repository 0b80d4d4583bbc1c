#pragma once

// Program-wide switches, set once at start-up (from the machine-scope registry values under the
// product key, and the command line) and read from any thread afterwards.

#include <atomic>

// "LogDebug": channels write their traces and protocol texts to the debug log.
extern std::atomic<bool> g_bLogDebug;
// "LogErrors": serial and box channels keep an error log "Err%s.txt" in the temporary folder.
extern std::atomic<bool> g_bLogErrors;
// "Mirel": the channel list also offers the Modbus TCP box channel.
extern std::atomic<bool> g_bMirel;
// "Beta": the configuration-file sources also take the beta sibling folder and the registry's
// further sources.
extern std::atomic<bool> g_bBeta;
// Debug mode: the command-line switch "debug", or the access condition ";debug".
extern std::atomic<bool> g_bDebugMode;

// Reads the DWORD values "LogDebug", "LogErrors", "Mirel" and "Beta" of the product key in the
// machine scope; a value that is read and non-zero turns its switch on, anything else leaves it
// off. Debug mode is left as it is (the start-up decides it from the command line and the user).
void ReadProgramSwitches();
