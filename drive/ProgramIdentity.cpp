#include "drive/ProgramIdentity.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "drive/DriveValueHelpers.h"
#include "drive/Qd.h"
#include "engine/VMComm.h"

namespace drive {

namespace {

constexpr const char* kThreadName = "Thread_ProgramIdentity";
// A stopped read: nothing to show, and nobody takes it.
constexpr int kStopped = -1;
// The answer's largest message when the machine names none that big.
constexpr uint32_t kAnswerRoom = 256;

uint32_t Value32(const uint8_t* p, bool bigEndian) {
    return bigEndian ? static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                           static_cast<uint32_t>(p[2]) << 8 | p[3]
                     : static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
                           static_cast<uint32_t>(p[1]) << 8 | p[0];
}

uint16_t Value16(const uint8_t* p, bool bigEndian) {
    return bigEndian ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
}

// Up to the first zero byte, never past the field: the drive need not terminate a full field.
std::string BoundedText(const uint8_t* p, size_t size) {
    const uint8_t* end = std::find(p, p + size, uint8_t{0});
    return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(end - p));
}

bool Stopped(const platform::StopToken* stop) {
    return stop != nullptr && stop->StopRequested();
}

}  // namespace

ProgramIdentity ProgramIdentity::Failed(int code) {
    ProgramIdentity identity;
    identity.result = code;
    identity.first = kUnknownProgramValue;
    identity.second = kUnknownProgramValue;
    return identity;
}

ProgramRecord ProgramRecordOf(const engine::CVMComm& vm) {
    if (vm.MaxMessageSize() == 0) return ProgramRecord::Cells;
    // The message carries a 4-byte header before the answer.
    const bool roomy = vm.MaxMessageSize() >= kLongIdentityBytes + 4;
    const bool fullVersion = !vm.Version().majorOnly && vm.Version().major >= 0;
    return roomy && fullVersion ? ProgramRecord::Long : ProgramRecord::Short;
}

ProgramIdentity DecodeShortIdentity(const uint8_t* data, uint32_t length, bool bigEndian) {
    if (data == nullptr || length < kShortIdentityBytes)
        return ProgramIdentity::Failed(kProgramIdentityShort);
    ProgramIdentity identity;
    identity.first = Value32(data, bigEndian);
    identity.second = Value32(data + 4, bigEndian);
    char number[24];
    std::snprintf(number, sizeof number, "%ld", static_cast<long>(Value16(data + 8, bigEndian)));
    identity.detail = number;
    identity.name = BoundedText(data + kShortIdentityBytes, length - kShortIdentityBytes);
    return identity;
}

ProgramIdentity DecodeLongIdentity(const uint8_t* data, uint32_t length, bool bigEndian) {
    if (data == nullptr || length < kLongIdentityBytes) return ProgramIdentity::Failed(kProgramIdentityShort);
    ProgramIdentity identity;
    identity.first = Value32(data, bigEndian);
    identity.second = Value32(data + 4, bigEndian);
    identity.name = BoundedText(data + 8, kLongIdentityText);
    identity.detail = BoundedText(data + 8 + kLongIdentityText, kLongIdentityText);
    return identity;
}

ProgramIdentity ReadProgramIdentity(engine::CVMComm& vm, const ProgramIdentityCells& cells,
                                    const platform::StopToken* stop) {
    if (Stopped(stop)) return ProgramIdentity::Failed(kStopped);
    const ProgramRecord record = ProgramRecordOf(vm);
    if (record == ProgramRecord::Cells) {
        if (!cells.readText || !cells.readValue) return ProgramIdentity::Failed(kStopped);
        ProgramIdentity identity;
        if (const int rc = cells.readText(kProgramNameCell, identity.name); rc != 0)
            return ProgramIdentity::Failed(rc);
        if (Stopped(stop)) return ProgramIdentity::Failed(kStopped);
        uint32_t key = 0;
        if (const int rc = cells.readValue(kProgramDataKeyCell, &key); rc != 0)
            return ProgramIdentity::Failed(rc);
        identity.first = key;
        identity.detail = FormatPackedDateTime(key);
        return identity;
    }
    const bool isLong = record == ProgramRecord::Long;
    std::vector<uint8_t> answer(std::max<uint32_t>(vm.MaxMessageSize(), kAnswerRoom), 0);
    const uint8_t which = 0;  // the program in the drive's working memory
    uint32_t length = 0;
    const int rc = vm.SendCommand(isLong ? kVmLongIdentity : kVmShortIdentity, &which, 1, answer.data(),
                                  &length, static_cast<uint32_t>(answer.size()));
    if (rc != 0) return ProgramIdentity::Failed(rc);
    length = std::min<uint32_t>(length, static_cast<uint32_t>(answer.size()));
    return isLong ? DecodeLongIdentity(answer.data(), length, vm.BigEndian())
                  : DecodeShortIdentity(answer.data(), length, vm.BigEndian());
}

ProgramIdentity ReadProgramIdentity(CQd& qd, const platform::StopToken* stop) {
    ProgramIdentityCells cells;
    cells.readText = [&qd](const std::string& name, std::string& text) {
        return qd.UploadString(name, text);
    };
    cells.readValue = [&qd](const std::string& name, uint32_t* value) { return qd.ReadCell(name, value); };
    return ReadProgramIdentity(qd.VmComm(), cells, stop);
}

bool CProgramInfoRefresh::Start() {
    if (thread_.IsRunning()) return false;
    {
        std::lock_guard lock(mutex_);
        result_.reset();
    }
    return thread_.Start(kThreadName, [this](platform::StopToken& stop) {
        ProgramIdentity identity = reader_(stop);
        if (stop.StopRequested()) return;
        std::lock_guard lock(mutex_);
        result_ = std::move(identity);
    });
}

std::optional<ProgramIdentity> CProgramInfoRefresh::TakeResult() {
    if (thread_.IsRunning()) return std::nullopt;
    thread_.Join();
    std::lock_guard lock(mutex_);
    std::optional<ProgramIdentity> result = std::move(result_);
    result_.reset();
    return result;
}

void CProgramInfoRefresh::Stop() {
    thread_.RequestStop();
    thread_.Join();
    std::lock_guard lock(mutex_);
    result_.reset();
}

}  // namespace drive
