#pragma once
// The identity of the program the drive runs (its name and the key of its data), read from the
// drive's program virtual machine or, when that offers no identity record, from two named cells.
// A refresh runs on a worker so that the window never waits for the drive.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Thread.h"

namespace engine {
class CVMComm;
}  // namespace engine

namespace drive {

class CQd;

constexpr const char* kProgramNameCell = "PE_user_program_name";
constexpr const char* kProgramDataKeyCell = "PE_data_key";
// Commands of the program virtual machine that answer the program's identity.
constexpr uint8_t kVmShortIdentity = 2;
constexpr uint8_t kVmLongIdentity = 5;
// Smallest answers: two 32-bit values and a 16-bit number; two 32-bit values and two 32-byte texts.
constexpr uint32_t kShortIdentityBytes = 10;
constexpr uint32_t kLongIdentityBytes = 72;
constexpr uint32_t kLongIdentityText = 32;
constexpr uint32_t kUnknownProgramValue = 0xFFFFFFFFu;
// An answer too short for its record.
constexpr int kProgramIdentityShort = -10;

struct ProgramIdentity {
    int result = 0;  // 0, or the code of the failed read
    uint32_t first = 0;
    uint32_t second = 0;
    // What is shown: the program's name and a second text (the data key's date, the record's
    // number, or the long record's second text).
    std::string name;
    std::string detail;

    // Any failure: both values unknown and nothing to show.
    static ProgramIdentity Failed(int code);
};

// Where the drive keeps its program's identity.
enum class ProgramRecord {
    Cells,  // no record from the virtual machine: the two named cells
    Short,  // command 2
    Long,   // command 5
};
// The virtual machine was not opened (or refused) when its largest message is 0; a machine that
// reports its full version and whose messages hold the long answer uses the long record.
ProgramRecord ProgramRecordOf(const engine::CVMComm& vm);

// The answers' data, in the drive's byte order; a shorter answer gives kProgramIdentityShort.
ProgramIdentity DecodeShortIdentity(const uint8_t* data, uint32_t length, bool bigEndian);
ProgramIdentity DecodeLongIdentity(const uint8_t* data, uint32_t length, bool bigEndian);

// The named cells of the drive (0 or a code each).
struct ProgramIdentityCells {
    std::function<int(const std::string& name, std::string& text)> readText;
    std::function<int(const std::string& name, uint32_t* value)> readValue;
};

// One read of the identity. stop (may be null) is looked at between the drive accesses; a stopped
// read ends as a failure.
ProgramIdentity ReadProgramIdentity(engine::CVMComm& vm, const ProgramIdentityCells& cells,
                                    const platform::StopToken* stop = nullptr);
// The same on the drive object (its cell reads take the drive lock).
ProgramIdentity ReadProgramIdentity(CQd& qd, const platform::StopToken* stop = nullptr);

// One refresh at a time on a worker. The owner takes the result when the worker is done and stops
// it (request, then join) before anything the reader uses goes.
class CProgramInfoRefresh {
  public:
    using Reader = std::function<ProgramIdentity(const platform::StopToken& stop)>;

    explicit CProgramInfoRefresh(Reader reader) : reader_(std::move(reader)) {}
    ~CProgramInfoRefresh() { Stop(); }
    CProgramInfoRefresh(const CProgramInfoRefresh&) = delete;
    CProgramInfoRefresh& operator=(const CProgramInfoRefresh&) = delete;

    // False while one runs (it is not started twice) or when the thread cannot be made.
    bool Start();
    bool IsRunning() const { return thread_.IsRunning(); }
    // The finished refresh's identity (once); none while it runs or when none finished.
    std::optional<ProgramIdentity> TakeResult();
    // Asks a running refresh to stop and waits for it; its result is dropped.
    void Stop();

  private:
    Reader reader_;
    std::mutex mutex_;
    std::optional<ProgramIdentity> result_;
    platform::Thread thread_;
};

}  // namespace drive
