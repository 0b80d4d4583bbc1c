#include "drive/Qd.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>

#include "engine/BridgeChannelDriver.h"
#include "engine/Channel.h"
#include "engine/CompressedBlock.h"
#include "engine/EngineCodes.h"
#include "engine/LibraryChannelDriver.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "engine/Vocabolario.h"
#include "platform/CodePage.h"

namespace drive {

using namespace foundation;

namespace {

constexpr size_t kMaxEngineText = 499;
constexpr uint32_t kUnsignedValue = 0x80000000u;
constexpr uint32_t kSignedValue = 0xC0000000u;

std::string Cut(const std::string& text, size_t bytes) {
    return text.substr(0, platform::Utf8SafeCut(text, bytes));
}

// A number typed by the user, in the C locale whatever the user's locale; false when the text is
// not a finite number.
bool ParseEditNumber(const std::string& text, double* out) {
    const char* begin = text.c_str();
    const char* end = begin + text.size();
    while (begin < end && (*begin == ' ' || *begin == '\t')) ++begin;
    while (end > begin && (end[-1] == ' ' || end[-1] == '\t')) --end;
    if (begin < end && *begin == '+') ++begin;
    double value = 0.0;
    const auto result = std::from_chars(begin, end, value);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) return false;
    *out = value;
    return true;
}

// Half away from zero, clamped into the 32-bit range before the cast.
int32_t RoundToCell(double value) {
    const double rounded = std::trunc(value + (value < 0 ? -0.5 : 0.5));
    const double low = std::numeric_limits<int32_t>::min();
    const double high = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::clamp(rounded, low, high));
}

}  // namespace

CQd::CQd(platform::WindowHandle owner)
    : owner_(owner), wnd_(this, owner), parameters_(std::make_unique<CParametri>()) {
    hooks_.stopSystemManager = [this] { systemManager_->Stop(); };
    hooks_.updateMenuState = [this] { UpdateMenuState(); };
    hooks_.updateEsiEeprom = [this] { UpdateEsiEeprom(); };
    // The seam reaches the watch thread through watch_ at each call: SetWatchClock replaces it.
    watchSeam_.running = [this] { return watch_->IsRunning(); };
    watchSeam_.start = [this] { return watch_->Start(); };
    watchSeam_.stop = [this] { watch_->Stop(); };
    watchSeam_.state = [this](int activity) {
        return activity == 0 ? watch_->WatchState() : watch_->CaptureState();
    };
    watchSeam_.request = [this](int activity) {
        return activity == 0 ? watch_->WatchRequest() : watch_->CaptureRequest();
    };
    watchSeam_.setRequest = [this](int activity, int request) {
        if (activity == 0)
            watch_->RequestWatch(request);
        else
            watch_->RequestCapture(request);
    };
}

CQd::~CQd() {
    // The system manager's command thread and the watch thread read and write the drive through
    // this object: they end first.
    systemManager_->Stop();
    StopWatchThread();
    watch_.reset();
    // Groups first: their cyclic reads write into cells that go with this object.
    if (engine::CMain* engine = EngineOrNull()) engine->GroupRemoveAll();
    motors_.ClearMotorDatabase();
    ClearPendingMaps();
    FreeBufferMaps();
}

// ---- per-thread result -----------------------------------------------------------------------

CQd::CThreadError& CQd::Mine() {
    std::lock_guard guard(errorsMutex_);
    return errors_[std::this_thread::get_id()];
}

const CQd::CThreadError* CQd::MineIfAny() const {
    std::lock_guard guard(errorsMutex_);
    const auto it = errors_.find(std::this_thread::get_id());
    return it == errors_.end() ? nullptr : &it->second;
}

int32_t CQd::ResultCode() const {
    const CThreadError* e = MineIfAny();
    return e ? e->code : 0;
}

std::string CQd::LastErrorText() const {
    const CThreadError* e = MineIfAny();
    return e ? e->text : std::string();
}

void CQd::SetMessage(const std::string& text) {
    Mine().message = text;
}

// Keeps the code, the window's message and the engine's text for the calling thread; runs
// inside the drive lock.
int CQd::Finish(int code) {
    CThreadError& e = Mine();
    e.code = code;
    e.text = wnd_.LastMessage();
    if (code != 0) e.cellCode = code;
    e.engineText = code != 0 ? wnd_.EngineErrorText() : std::string();
    return code;
}

engine::CMain* CQd::EngineOrNull() {
    return wnd_.EngineApi() ? wnd_.EngineApi()->Engine() : nullptr;
}

// ---- named cells ---------------------------------------------------------------------------

int CQd::ReadCell(const std::string& name, uint32_t* value) {
    Mine().code = 0;
    std::lock_guard lock(lock_);
    return Finish(wnd_.ReadCell(name.c_str(), value));
}

int CQd::ReadCell(const std::string& name, uint32_t& value) {
    return ReadCell(name, &value);
}

int CQd::WriteCell(const std::string& name, uint32_t value) {
    Mine().code = 0;
    std::lock_guard lock(lock_);
    return Finish(wnd_.WriteCell(name.c_str(), value));
}

int CQd::WriteUnitValue(int quantity, const std::string& name, double value) {
    Mine().code = 0;
    std::lock_guard lock(lock_);
    const int32_t raw = units_.FromUserUnits(quantity, value);
    return Finish(wnd_.WriteCell(name.c_str(), static_cast<uint32_t>(raw)));
}

int CQd::EngineTransfer(const std::string& name, void* buffer, uint32_t size, bool upload, uint32_t* moved) {
    Mine().code = 0;
    std::lock_guard lock(lock_);
    engine::CMain* engine = EngineOrNull();
    if (!engine) return Finish(-1);
    wnd_.SetLastMessage(std::string());
    engine->ClearError();
    uint32_t count = size;
    const int rc =
        upload ? engine->UploadCell(name, buffer, &count) : engine->DownloadCell(name, buffer, size);
    if (rc != 0) {
        const std::string text = Cut(engine->ErrorText(), kMaxEngineText);
        wnd_.SetLastMessage((upload ? "Upload error on '" : "Download error on '") + name + "': " + text);
        return Finish(rc);
    }
    // The engine reports what it moved; never more than the caller's buffer holds.
    *moved = upload ? std::min(count, size) : size;
    Finish(0);
    return 0;
}

int CQd::UploadCell(const std::string& name, void* buffer, uint32_t size) {
    uint32_t moved = 0;
    const int rc = EngineTransfer(name, buffer, size, true, &moved);
    return rc != 0 ? rc : static_cast<int>(moved);
}

int CQd::DownloadCell(const std::string& name, const void* buffer, uint32_t size) {
    uint32_t moved = 0;
    const int rc = EngineTransfer(name, const_cast<void*>(buffer), size, false, &moved);
    return rc != 0 ? rc : static_cast<int>(moved);
}

int CQd::UploadString(const std::string& name, std::string& out) {
    char buffer[101] = {};
    const int rc = UploadCell(name, buffer, 100);
    if (rc < 0) return rc;
    const size_t n = std::min<size_t>(static_cast<size_t>(rc), 100);
    out.assign(buffer, strnlen(buffer, n));
    return 0;
}

std::vector<uint8_t> CQd::UserDriveNameBytes(const std::string& name, uint32_t itemSize) {
    // The terminator must fit in the item: a longer name is cut, never written past it.
    size_t length = name.size();
    if (itemSize > 0) length = platform::Utf8SafeCut(name, std::min<size_t>(length, itemSize - 1));
    std::vector<uint8_t> bytes(std::max<size_t>(length + 1, 5), 0);
    if (itemSize > 0) bytes.resize(std::min<size_t>(bytes.size(), std::max<uint32_t>(itemSize, 1)));
    std::memcpy(bytes.data(), name.data(), std::min(length, bytes.size()));
    return bytes;
}

int CQd::DownloadUserDriveName(const std::string& name) {
    uint8_t isSigned = 0, writable = 0;
    uint32_t itemSize = 0;
    if (GetCellInfo("UserDriveName", &isSigned, &itemSize, &writable) != 0) itemSize = 0;
    const std::vector<uint8_t> bytes = UserDriveNameBytes(name, itemSize);
    const int rc = DownloadCell("UserDriveName", bytes.data(), static_cast<uint32_t>(bytes.size()));
    return rc < 0 ? rc : 0;
}

int CQd::WriteEditValue(int quantity, const std::string& name, const std::string& text) {
    const int32_t raw = units_.TextToDrive(quantity, text);
    const int rc = WriteCell(name, static_cast<uint32_t>(raw));
    if (rc != 0) ReportError(name + " write error - WriteEditValue", kSeverityError, rc, "", "ShowMessage");
    return rc;
}

// The text scaled by the factor and rounded into a cell value; -1 when it cannot be converted.
int CQd::RoundEditValue(const std::string& text, const char* factorType, int32_t factor, int32_t* out) {
    double value = 0.0;
    bool ok = ParseEditNumber(text, &value);
    if (ok && factorType && *factorType) {
        if (factor == 0) {
            ok = false;
        } else if (std::strcmp(factorType, "M") == 0) {
            value /= factor;
        } else {
            value *= factor;
        }
    }
    if (!ok || !std::isfinite(value)) {
        wnd_.SetLastMessage("'" + text + "' cannot be converted into a drive value");
        return -1;
    }
    *out = RoundToCell(value);
    return 0;
}

int CQd::WriteEditValue(const std::string& name, const std::string& text, const char* factorType,
                        int32_t factor, CParamDw* cell) {
    int32_t raw = 0;
    int rc = 0;
    {
        std::lock_guard lock(lock_);
        rc = RoundEditValue(text, factorType, factor, &raw);
        if (rc != 0) Finish(rc);
    }
    if (rc == 0) {
        if (cell) {
            cell->value = static_cast<uint32_t>(raw);
            cell->status = kCellValid;
        }
        rc = WriteCell(name, static_cast<uint32_t>(raw));
    }
    if (rc != 0) ReportError(name + " write error - WriteEditValue", kSeverityError, rc, "", "ShowMessage");
    return rc;
}

int CQd::AddCellToGroup(int group, const std::string& name, CParamDw& cell, uint32_t userTag) {
    cell.userTag = userTag;
    // Only tagged cells are dispatched when their change notice arrives.
    if (userTag != 0) taggedCells_[&cell] = &cell;
    engine::CMainApi* api = wnd_.EngineApi();
    if (!api) return -1;
    engine::VocabularyItem item;
    if (api->GetCellInfo(name, item) != 0) {
        cell.status = kCellNonexistent;
        return engine::engine_code::kCellNotFound;
    }
    const bool isSigned = item.Sign() != 0;
    cell.sizeSign = CParamDw::MakeSizeSign(item.size, isSigned);
    engine::CMain& engine = *api->Engine();
    engine.ClearError();
    if (item.size > 4) return engine.GroupAddCell(group, name, 0, cell.data, static_cast<int32_t>(item.size));
    if (item.size == 4) return engine.GroupAddReadCell(group, name, &cell);
    const uint32_t flag = isSigned ? kSignedValue : kUnsignedValue;
    return engine.GroupAddCellValue(group, name, 0, &cell, 4 | flag, static_cast<int32_t>(item.size | flag));
}

int CQd::RemoveGroupVariable(int group, int variable) {
    engine::CMain* engine = EngineOrNull();
    if (!engine) return -1;
    engine->ClearError();
    return engine->VariableRemove(group, variable);
}

int CQd::ExecuteGroup(int group, int mode, int32_t cycleMs) {
    engine::CMain* engine = EngineOrNull();
    if (!engine) return -1;
    engine->ClearError();
    return engine->GroupExecute(group, mode, cycleMs);
}

void CQd::StopGroup(int group) {
    if (engine::CMain* engine = EngineOrNull()) {
        engine->ClearError();
        engine->GroupStop(group);
    }
}

int CQd::AddReadToEngineGroup(const std::string& name, void* buffer, int32_t size, void* result,
                              uint32_t* extra) {
    engine::CMain* engine = EngineOrNull();
    if (!engine) return -1;
    engine->ClearError();
    return engine->VariableAdd(0, 0, engine->DefaultGroupRef(), name, 0, buffer, size, result, extra);
}

int CQd::AddWriteToEngineGroup(const std::string& name, void* buffer, int32_t size, void* result,
                               uint32_t* extra) {
    engine::CMain* engine = EngineOrNull();
    if (!engine) return -1;
    engine->ClearError();
    return engine->VariableAdd(0, 0, engine->DefaultGroupRef(), name, 1, buffer, size, result, extra);
}

void CQd::AddEditValueToEngineGroup(int quantity, const std::string& name, const std::string& text,
                                    CParamDw& cell) {
    cell.value = static_cast<uint32_t>(units_.TextToDrive(quantity, text));
    cell.status = kCellValid;
    AddWriteToEngineGroup(name, &cell.value, 4);
}

void CQd::AddScaledEditValueToEngineGroup(const std::string& name, const std::string& text,
                                          const char* factorType, int32_t factor, CParamDw& cell) {
    int32_t raw = 0;
    if (RoundEditValue(text, factorType, factor, &raw) != 0) {
        cell.status = kCellReadError;
        return;
    }
    cell.value = static_cast<uint32_t>(raw);
    cell.status = kCellValid;
    AddWriteToEngineGroup(name, &cell.value, 4);
}

int CQd::ExecuteEngineGroup() {
    engine::CMain* engine = EngineOrNull();
    if (!engine) return -1;
    engine->ClearError();
    const int rc = engine->GroupExecuteOnce(0, 0, engine->DefaultGroup());
    engine->GroupClear(engine->DefaultGroupRef());
    return rc;
}

void CQd::ClearEngineGroup() {
    if (engine::CMain* engine = EngineOrNull()) engine->GroupClear(engine->DefaultGroupRef());
}

int CQd::GetCellInfo(const std::string& name, uint8_t* isSigned, uint32_t* size, uint8_t* writable) {
    engine::CMainApi* api = wnd_.EngineApi();
    if (!api) {
        if (isSigned) *isSigned = 0;
        if (size) *size = 0;
        if (writable) *writable = 0;
        return -1;
    }
    engine::VocabularyItem item;
    const int rc = api->GetCellInfo(name, item);
    if (rc != 0) return rc;
    if (isSigned) *isSigned = item.Sign() != 0 ? 1 : 0;
    if (size) *size = item.size;
    if (writable) *writable = item.IsWritable() ? 1 : 0;
    return 0;
}

int CQd::GetNodeVocabulary(engine::CVocabolario** out) {
    *out = nullptr;
    engine::CMain* engine = EngineOrNull();
    if (!engine) return -1;
    const int channel = engine->CurrentChannel();
    if (channel < 0 || channel >= engine->ChannelCount())
        return engine->SetError(engine::engine_code::kWrongChannel, engine::engine_text::kWrongChannel);
    const int slot = engine->FindNode(engine->CurrentNodeId(), channel);
    if (slot < 0 || !engine->Node(slot))
        return engine->SetError(engine::engine_code::kNodeNotFound, engine::engine_text::kNodeNotFound);
    engine::CVocabolario* vocabulary = engine->Vocabulary(engine->Node(slot)->vocabularyIndex);
    if (!vocabulary)
        return engine->SetError(engine::engine_code::kVocabularyMissing,
                                engine::engine_text::kVocabularyNotFound);
    *out = vocabulary;
    return 0;
}

int CQd::GetVocabularyItemText(int key, std::string& out) {
    engine::CVocabolario* vocabulary = nullptr;
    const int rc = GetNodeVocabulary(&vocabulary);
    if (rc != 0) return rc;
    if (vocabulary->GetNextItemXml(key != 0, out) != 0)
        return EngineOrNull()->SetError(engine::engine_code::kCellNotFound,
                                        engine::engine_text::kCellNotFound);
    return 0;
}

size_t CQd::CopyLastErrorText(char* buffer, size_t size) {
    CThreadError& e = Mine();
    std::string text;
    if (EngineOrNull() && !e.engineText.empty()) {
        text = e.engineText;
    } else {
        text.swap(e.message);
    }
    if (!buffer || size == 0) return 0;
    const size_t n = platform::Utf8SafeCut(text, size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
}

int CQd::CurrentChannelType(int* type) {
    engine::CMain* engine = EngineOrNull();
    if (!engine) return -1;
    engine->ClearError();
    const int index = engine->CurrentChannel();
    engine::CChannel* channel = nullptr;
    if (index < 0 || index >= engine->ChannelCount() || !(channel = engine->Channel(index)))
        return engine->SetError(engine::engine_code::kWrongChannel, engine::engine_text::kWrongChannel);
    *type = channel->type;
    return 0;
}

// Library, bridge and TwinCAT channels run their groups themselves; the engine's own cyclic
// thread serves the others.
int CQd::PauseOrResumeCyclicReads(bool pause) {
    cyclicPaused_ = pause;
    int type = 0;
    if (const int rc = CurrentChannelType(&type); rc != 0) return rc;
    engine::CMain& engine = *EngineOrNull();
    engine::CChannel* channel = engine.Channel(engine.CurrentChannel());
    switch (type) {
        case engine::channel_type::kLibrary: {
            auto* driver = dynamic_cast<engine::CLibraryChannelDriver*>(channel->driver.get());
            if (!driver || !driver->Library().IsConnected()) return -10;
            return 0;
        }
        case engine::channel_type::kBridge: {
            auto* driver = dynamic_cast<engine::CBridgeChannelDriver*>(channel->driver.get());
            transport::CBridgeNode* node = driver ? driver->Manager().CurrentNodeRecord() : nullptr;
            if (!node || !node->bridge) return 0;
            if (!pause) {
                node->bridge->ResumeCyclicThread();
                return 0;
            }
            return node->bridge->StopCyclicThread(1000) ? 0 : -1;
        }
        case engine::channel_type::kAds:
            return 0;
        default:
            return pause ? engine.PauseCyclicThread() : engine.StartCyclicThread();
    }
}

int CQd::PauseCyclicReads() {
    return PauseOrResumeCyclicReads(true);
}

int CQd::ResumeCyclicReads() {
    return PauseOrResumeCyclicReads(false);
}

// ---- error text and report -------------------------------------------------------------------

std::string CQd::TakeLastErrorText() {
    char buffer[1001];
    const size_t n = CopyLastErrorText(buffer, sizeof buffer);
    return std::string(buffer, n);
}

int32_t CQd::LastCellErrorCode() const {
    const CThreadError* e = MineIfAny();
    return e ? e->cellCode : 0;
}

int CQd::ChannelType() const {
    return wnd_.Record().channelType;
}

std::string CQd::ModbusErrorVariableName() const {
    engine::CMainApi* api = const_cast<CQdsWnd&>(wnd_).EngineApi();
    return api ? api->Engine()->ModbusErrorName() : std::string("ModbusError");
}

void CQd::GetLastErrorText(const std::string& message, std::string& out, int32_t code) {
    out = ComposeLastErrorText(*this, description_.errorTable, message, code);
}

int CQd::ReportError(const std::string& message, int severity, int32_t code, const std::string& fallback,
                     const std::string& caption) {
    return ReportDriveError(*this, description_.errorTable, message, severity, code, fallback, caption);
}

int DecodeFirmwareElement(const std::string& xml, std::vector<uint8_t>& data) {
    const int rc = engine::ExtractFirmwareElement(xml, data);
    if (rc != 0) data.clear();
    return rc;
}

}  // namespace drive
