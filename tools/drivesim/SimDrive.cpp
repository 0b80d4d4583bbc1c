#include "tools/drivesim/SimDrive.h"

#include "tools/drivesim/SimDriveModel.h"

#include <algorithm>
#include <utility>

namespace drivesim {

namespace {

uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Initiate frames sit in the registers low byte first; the wire carries each register
// high byte first, so the wire shows every pair exchanged.
void SwapPairs(uint8_t* bytes, size_t count) {
    for (size_t i = 0; i + 1 < count; i += 2) std::swap(bytes[i], bytes[i + 1]);
}

constexpr uint8_t kIllegalFunction = 1;
constexpr uint8_t kIllegalAddress = 2;
constexpr uint8_t kIllegalValue = 3;
constexpr uint8_t kDeviceFailure = 4;
constexpr uint8_t kWrongUploadStep = 248;
constexpr uint8_t kWrongToggle = 249;
constexpr uint8_t kTooMuchData = 250;
constexpr uint8_t kEndFailed = 251;

}  // namespace

SimDrive::SimDrive(uint8_t slave) : slave_(slave) {
    // The registers a recovery read after a failed SDO upload touches.
    registers_[100] = 0;
    registers_[101] = 0;
}

void SimDrive::SetRegister(uint16_t address, uint16_t value) {
    std::lock_guard lock(mutex_);
    registers_[address] = value;
}

void SimDrive::SetRegisters(uint16_t first, const std::vector<uint16_t>& values) {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < values.size(); ++i) registers_[static_cast<uint16_t>(first + i)] = values[i];
}

void SimDrive::SetU32(uint16_t address, uint32_t value, bool swapped) {
    const uint16_t high = static_cast<uint16_t>(value >> 16), low = static_cast<uint16_t>(value);
    SetRegisters(address, swapped ? std::vector<uint16_t>{high, low} : std::vector<uint16_t>{low, high});
}

void SimDrive::FillRegisters(uint16_t first, uint32_t count, uint16_t value) {
    std::lock_guard lock(mutex_);
    for (uint32_t i = 0; i < count && first + i <= 0xFFFF; ++i)
        registers_[static_cast<uint16_t>(first + i)] = value;
}

void SimDrive::RemoveRegister(uint16_t address) {
    std::lock_guard lock(mutex_);
    registers_.erase(address);
}

std::optional<uint16_t> SimDrive::Register(uint16_t address) const {
    std::lock_guard lock(mutex_);
    auto it = registers_.find(address);
    if (it == registers_.end()) return std::nullopt;
    return it->second;
}

void SimDrive::SetSdoObject(uint16_t address, SimSdoObject object) {
    std::lock_guard lock(mutex_);
    sdo_[address] = std::move(object);
}

std::optional<SimSdoObject> SimDrive::SdoObject(uint16_t address) const {
    std::lock_guard lock(mutex_);
    auto it = sdo_.find(address);
    if (it == sdo_.end()) return std::nullopt;
    return it->second;
}

void SimDrive::SetDomain(uint16_t address, SimDomain domain) {
    std::lock_guard lock(mutex_);
    domains_[address] = std::move(domain);
}

std::optional<SimDomain> SimDrive::Domain(uint16_t address) const {
    std::lock_guard lock(mutex_);
    auto it = domains_.find(address);
    if (it == domains_.end()) return std::nullopt;
    return it->second;
}

void SimDrive::AddComponent(SimComponent component) {
    std::lock_guard lock(mutex_);
    components_.push_back(std::move(component));
}

void SimDrive::ReplaceComponents(std::vector<SimComponent> components) {
    std::lock_guard lock(mutex_);
    components_ = std::move(components);
}

void SimDrive::SetSdoAbortAtSegment(int segment, uint32_t code) {
    std::lock_guard lock(mutex_);
    abortAtSegment_ = segment;
    abortAtSegmentCode_ = code;
}

SimStats SimDrive::Stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

void SimDrive::SetModel(std::shared_ptr<SimDriveModel> model) {
    std::lock_guard lock(mutex_);
    model_ = std::move(model);
}

std::shared_ptr<SimDriveModel> SimDrive::Model() const {
    std::lock_guard lock(mutex_);
    return model_;
}

std::vector<uint8_t> SimDrive::Handle(const uint8_t* pdu, size_t length) {
    if (length < 1) return {};
    if (auto model = Model(); model && !model->Answers()) return {};
    std::lock_guard lock(mutex_);
    const uint8_t function = pdu[0];
    auto u16 = [&](size_t at) { return static_cast<uint16_t>(pdu[at] << 8 | pdu[at + 1]); };
    switch (function) {
        case 3:
            if (length < 5) return Exception(function, kIllegalValue);
            return ReadHolding(u16(1), u16(3));
        case 6:
            if (length < 5) return Exception(function, kIllegalValue);
            return WriteSingle(u16(1), u16(3));
        case 16: {
            if (length < 6) return Exception(function, kIllegalValue);
            const uint16_t count = u16(3);
            if (count < 1 || count > 123 || pdu[5] != 2 * count || length < 6u + 2u * count)
                return Exception(function, kIllegalValue);
            return WriteMultiple(u16(1), count, pdu + 6);
        }
        default:
            return Exception(function, kIllegalFunction);
    }
}

std::vector<uint8_t> SimDrive::ReadHolding(uint16_t address, uint16_t count) {
    if (count < 1 || count > 125) return Exception(3, kIllegalValue);
    std::vector<uint8_t> data;
    auto sdo = sdo_.find(address);
    if (sdo != sdo_.end() && count == 4) {
        data = SdoRead(sdo->second, address);
    } else if (sdo != sdo_.end() && count <= 2) {
        data.assign(2u * count, 0);
        for (size_t i = 0; i < data.size() && i < sdo->second.bytes.size(); ++i)
            data[i] = sdo->second.bytes[i];
        SwapPairs(data.data(), data.size());
    } else if (auto domain = domains_.find(address); domain != domains_.end()) {
        return DomainRead(domain->second, address, count);
    } else if (bool handled = false; model_ && (data = ModelRead(address, count, handled), handled)) {
        return data;
    } else {
        if (address == 100) {
            sdoState_ = SdoState{};
            ++stats_.sdoRecoveries;
        }
        for (uint32_t a = address; a < static_cast<uint32_t>(address) + count; ++a) {
            uint16_t value = 0;
            const bool browseRegister = !components_.empty() && (a == 253 || (a >= 260 && a <= 265));
            if (browseRegister && a == 253) {
                if (browseFailed_) return Exception(3, kIllegalAddress);
                value = static_cast<uint16_t>(browseResponse_);
            } else if (browseRegister) {
                if (browseCursor_ < 0 || browseCursor_ >= static_cast<int>(components_.size()))
                    return Exception(3, kIllegalAddress);
                const SimComponent& c = components_[static_cast<size_t>(browseCursor_)];
                const uint32_t values[] = {c.code, c.major, c.minor, c.patch, c.preState, c.preNumber};
                value = static_cast<uint16_t>(values[a - 260]);
            } else {
                auto it = registers_.find(static_cast<uint16_t>(a));
                if (it == registers_.end()) return Exception(3, kIllegalAddress);
                value = it->second;
            }
            data.push_back(static_cast<uint8_t>(value >> 8));
            data.push_back(static_cast<uint8_t>(value));
        }
    }
    std::vector<uint8_t> reply{3, static_cast<uint8_t>(data.size())};
    reply.insert(reply.end(), data.begin(), data.end());
    return reply;
}

std::vector<uint8_t> SimDrive::WriteSingle(uint16_t address, uint16_t value) {
    const std::vector<uint8_t> echo{6, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                                    static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    if (auto sdo = sdo_.find(address); sdo != sdo_.end()) {
        if (!sdo->second.writable) return Exception(6, kDeviceFailure);
        const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
        for (size_t i = 0; i < 2 && i < sdo->second.bytes.size(); ++i) sdo->second.bytes[i] = bytes[i];
        return echo;
    }
    if (auto domain = domains_.find(address); domain != domains_.end())
        return DomainMessage(domain->second, address, value, echo);
    if (model_) {
        const SimDriveModel::RegisterKind kind = model_->KindAt(address);
        if (kind == SimDriveModel::RegisterKind::Domain ||
            (kind == SimDriveModel::RegisterKind::Long &&
             (LongInDomainTransfer(address) || static_cast<uint8_t>(value) == 0x80))) {
            SimDomain domain;
            ModelDomain(address, domain, false);
            const int done = stats_.domainDownloadsDone;
            std::vector<uint8_t> reply = DomainMessage(domain, address, value, echo);
            if (stats_.domainDownloadsDone != done) {
                const Refusal refusal = model_->WriteAt(address, {});
                if (refusal != Refusal::None) return Exception(6, ModbusExceptionOf(refusal));
            }
            return reply;
        }
        const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
        bool handled = false;
        std::vector<uint8_t> reply = ModelWrite(6, address, 1, bytes, handled);
        if (handled) return reply.empty() ? echo : reply;
    }
    if (registers_.find(address) == registers_.end()) return Exception(6, kIllegalAddress);
    registers_[address] = value;
    if (address == 1101) ++stats_.pauseWrites;
    if (address == 251) RunBrowse(value);
    return echo;
}

std::vector<uint8_t> SimDrive::WriteMultiple(uint16_t address, uint16_t count, const uint8_t* data) {
    const std::vector<uint8_t> echo{16, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                                    static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)};
    if (auto sdo = sdo_.find(address); sdo != sdo_.end()) {
        if (count == 4) {
            auto reply = SdoWrite(sdo->second, address, data);
            return reply.empty() ? echo : reply;
        }
        if (count == 2) {
            if (!sdo->second.writable) return Exception(16, kDeviceFailure);
            const uint8_t bytes[4] = {data[1], data[0], data[3], data[2]};
            for (size_t i = 0; i < 4 && i < sdo->second.bytes.size(); ++i) sdo->second.bytes[i] = bytes[i];
            return echo;
        }
        return Exception(16, kIllegalValue);
    }
    if (auto domain = domains_.find(address); domain != domains_.end()) {
        auto reply = DomainWrite(domain->second, address, count, data);
        return reply.empty() ? echo : reply;
    }
    if (model_) {
        bool handled = false;
        std::vector<uint8_t> reply = ModelWrite(16, address, count, data, handled);
        if (handled) return reply.empty() ? echo : reply;
    }
    if (!StoreRegisters(address, count, data)) return Exception(16, kIllegalAddress);
    if (address <= 251 && address + count > 251) RunBrowse(registers_[251]);
    return echo;
}

bool SimDrive::StoreRegisters(uint16_t address, uint16_t count, const uint8_t* data) {
    for (uint32_t a = address; a < static_cast<uint32_t>(address) + count; ++a)
        if (a > 0xFFFF || registers_.find(static_cast<uint16_t>(a)) == registers_.end()) return false;
    for (uint16_t k = 0; k < count; ++k)
        registers_[static_cast<uint16_t>(address + k)] =
            static_cast<uint16_t>(data[2 * k] << 8 | data[2 * k + 1]);
    if (address <= 1101 && address + count > 1101) ++stats_.pauseWrites;
    return true;
}

// ---------------------------------------------------------------------------------------
// SDO over four registers

std::vector<uint8_t> SimDrive::SdoRead(SimSdoObject& object, uint16_t address) {
    uint8_t frame[8] = {};
    SdoState& s = sdoState_;
    if (s.phase == SdoState::Uploading && s.address == address) {
        const size_t left = s.data.size() - s.offset;
        const int n = static_cast<int>(std::min<size_t>(7, left));
        const bool last = s.offset + static_cast<size_t>(n) == s.data.size();
        if (s.segment == abortAtSegment_) {
            frame[0] = 0x80;
            frame[1] = static_cast<uint8_t>(address);
            frame[2] = static_cast<uint8_t>(address >> 8);
            PutU32(frame + 4, abortAtSegmentCode_);
            s = SdoState{};
            return std::vector<uint8_t>(frame, frame + 8);
        }
        // A repeated toggle stands for a segment the drive sent twice.
        const uint8_t toggle = s.segment == repeatToggleAt_ ? static_cast<uint8_t>(s.toggle ^ 1) : s.toggle;
        frame[0] = static_cast<uint8_t>(toggle << 4 | (7 - n) << 1 | (last ? 1 : 0));
        std::copy_n(s.data.begin() + static_cast<std::ptrdiff_t>(s.offset), n, frame + 1);
        s.offset += static_cast<size_t>(n);
        s.toggle ^= 1;
        ++s.segment;
        if (last) s = SdoState{};
        return std::vector<uint8_t>(frame, frame + 8);  // segment frames: wire order = frame order
    }
    s = SdoState{};
    frame[1] = static_cast<uint8_t>(address);
    frame[2] = static_cast<uint8_t>(address >> 8);
    if (object.abortCode != 0) {
        frame[0] = 0x80;
        PutU32(frame + 4, object.abortCode);
    } else if (!object.bytes.empty() && object.bytes.size() <= 4) {
        const size_t n = object.bytes.size();
        frame[0] = static_cast<uint8_t>(0x43 | (4 - n) << 2);
        std::copy(object.bytes.begin(), object.bytes.end(), frame + 4);
    } else {
        frame[0] = 0x41;
        PutU32(frame + 4, static_cast<uint32_t>(object.bytes.size()));
        s.phase = SdoState::Uploading;
        s.address = address;
        s.data = object.bytes;
    }
    SwapPairs(frame, 8);
    return std::vector<uint8_t>(frame, frame + 8);
}

std::vector<uint8_t> SimDrive::SdoWrite(SimSdoObject& object, uint16_t address, const uint8_t* wire) {
    SdoState& s = sdoState_;
    if (wire[0] == 0x80) {
        ++stats_.sdoAborts;
        s = SdoState{};
        return {};
    }
    uint8_t init[8];
    std::copy_n(wire, 8, init);
    SwapPairs(init, 8);
    if (init[0] == 0x21 && init[1] == static_cast<uint8_t>(address) &&
        init[2] == static_cast<uint8_t>(address >> 8) && init[3] == 0) {
        s = SdoState{};
        if (!object.writable) return Exception(16, kDeviceFailure);
        s.phase = SdoState::Downloading;
        s.address = address;
        s.expected = GetU32(init + 4);
        return {};
    }
    if (s.phase != SdoState::Downloading || s.address != address) return Exception(16, kDeviceFailure);
    const uint8_t command = wire[0];
    if ((command >> 5) != 0 || ((command >> 4) & 1) != s.toggle) {
        s = SdoState{};
        return Exception(16, kDeviceFailure);
    }
    const int n = 7 - ((command >> 1) & 7);
    s.data.insert(s.data.end(), wire + 1, wire + 1 + n);
    s.toggle ^= 1;
    if (s.data.size() > s.expected) {
        s = SdoState{};
        return Exception(16, kDeviceFailure);
    }
    if (command & 1) {
        if (s.data.size() != s.expected) {
            s = SdoState{};
            return Exception(16, kDeviceFailure);
        }
        object.bytes = s.data;
        ++stats_.sdoDownloadsDone;
        s = SdoState{};
    }
    return {};
}

// ---------------------------------------------------------------------------------------
// Domain protocol

std::vector<uint8_t> SimDrive::DomainMessage(SimDomain& domain, uint16_t address, uint16_t value,
                                             const std::vector<uint8_t>& echo) {
    // The box sends its one-register messages as a value whose low byte is the header.
    const uint8_t header = static_cast<uint8_t>(value);
    if (header == 0x80) return DomainTerminate(), echo;
    if (header == 0x30 && domainState_.address == address &&
        (domainState_.phase == DomainState::Downloading ||
         domainState_.phase == DomainState::DownloadStarted) &&
        domainState_.total == 0) {
        if (domain.writable) domain.bytes.clear();
        ++stats_.domainDownloadsDone;
        domainState_ = DomainState{};
        return echo;
    }
    return Exception(6, kWrongUploadStep);
}

std::vector<uint8_t> SimDrive::DomainTerminate() {
    ++stats_.domainTerminates;
    domainState_ = DomainState{};
    return {};
}

std::vector<uint8_t> SimDrive::DomainWrite(SimDomain& domain, uint16_t address, uint16_t count,
                                           const uint8_t* bytes) {
    DomainState& s = domainState_;
    if (count == 1 && bytes[0] == 0x80) return DomainTerminate();
    if (count == 5 && bytes[0] == 0x50 && bytes[1] == 0x01) {
        if (!domain.offered) return Exception(16, kIllegalFunction);
        stats_.domainStartTimeouts.push_back(GetU32(bytes + 6));
        s = DomainState{};
        s.phase = DomainState::UploadStarted;
        s.address = address;
        return {};
    }
    if (count == 7 && bytes[0] == 0x31 && bytes[1] == 0x01) {
        if (!domain.offered) return Exception(16, kIllegalFunction);
        stats_.domainStartTimeouts.push_back(GetU32(bytes + 10));
        s = DomainState{};
        s.phase = DomainState::DownloadStarted;
        s.address = address;
        s.total = GetU32(bytes + 2);
        return {};
    }
    if (s.phase != DomainState::Downloading || s.address != address) return Exception(16, kWrongUploadStep);
    const uint8_t header = bytes[0];
    if (((header & 0x40) != 0) != s.toggle) {
        s = DomainState{};
        return Exception(16, kWrongToggle);
    }
    const size_t n = 2u * count - 1 - ((header & 0x10) ? 1 : 0);
    s.data.insert(s.data.end(), bytes + 1, bytes + 1 + n);
    s.toggle = !s.toggle;
    if (domainBlockHook_) domainBlockHook_(++s.blocks);
    if (s.data.size() > s.total) {
        s = DomainState{};
        return Exception(16, kTooMuchData);
    }
    if (header & 0x20) {
        if (s.data.size() != s.total) {
            s = DomainState{};
            return Exception(16, kEndFailed);
        }
        if (domain.writable) domain.bytes = s.data;
        ++stats_.domainDownloadsDone;
        s = DomainState{};
    }
    return {};
}

std::vector<uint8_t> SimDrive::DomainRead(SimDomain& domain, uint16_t address, uint16_t count) {
    DomainState& s = domainState_;
    std::vector<uint8_t> data;
    if (s.address == address && s.phase == DomainState::UploadStarted && count == 9) {
        data.assign(18, 0);
        data[1] = domain.status;
        PutU32(&data[2], static_cast<uint32_t>(domain.bytes.size()));
        PutU32(&data[6], domain.uploadBlock);
        PutU32(&data[10], domain.timeoutA);
        PutU32(&data[14], domain.timeoutB);
        s.phase = DomainState::Uploading;
        s.data = domain.bytes;
        s.total = static_cast<uint32_t>(domain.bytes.size());
    } else if (s.address == address && s.phase == DomainState::DownloadStarted && count == 7) {
        data.assign(14, 0);
        data[1] = domain.writable ? domain.status : 2;
        PutU32(&data[2], domain.downloadBlock);
        PutU32(&data[6], domain.timeoutA);
        PutU32(&data[10], domain.timeoutB);
        s.phase = DomainState::Downloading;
    } else if (s.address == address && s.phase == DomainState::Uploading) {
        const size_t room = 2u * count - 1;
        const size_t n = std::min(room, s.data.size() - s.offset);
        uint8_t header = s.toggle ? 0x40 : 0x00;
        const bool last = s.offset + n == s.data.size();
        if (last) header |= 0x20;
        if (room - n == 1) header |= 0x10;
        data.assign(2u * count, 0);
        data[0] = header;
        std::copy_n(s.data.begin() + static_cast<std::ptrdiff_t>(s.offset), n, data.begin() + 1);
        s.offset += n;
        s.toggle = !s.toggle;
        if (domainBlockHook_) domainBlockHook_(++s.blocks);
        if (last) {
            ++stats_.domainUploadsDone;
            s = DomainState{};
        }
    } else {
        return Exception(3, kWrongUploadStep);
    }
    std::vector<uint8_t> reply{3, static_cast<uint8_t>(data.size())};
    reply.insert(reply.end(), data.begin(), data.end());
    return reply;
}

// ---------------------------------------------------------------------------------------
// Variables of the model

bool SimDrive::ModelObject(uint16_t address, SimSdoObject& object) {
    const SimDriveModel::Answer answer = model_->ReadAt(address);
    object = SimSdoObject{};
    object.writable = model_->WritableAt(address);
    object.abortCode = answer.refusal == Refusal::None ? 0 : SdoAbortOf(answer.refusal);
    object.bytes = answer.bytes;
    return answer.refusal == Refusal::None;
}

bool SimDrive::LongInDomainTransfer(uint16_t address) const {
    return domainState_.address == address && domainState_.phase != DomainState::Idle;
}

bool SimDrive::ModelDomain(uint16_t address, SimDomain& domain, bool withContent) {
    domain = SimDomain{};
    domain.writable = model_->WritableAt(address);
    if (!withContent) return true;
    SimDriveModel::Answer answer = model_->ReadAt(address);
    if (answer.refusal != Refusal::None) {
        domain.status = 2;  // the start block's status refuses the transfer
        return false;
    }
    domain.bytes = std::move(answer.bytes);
    return true;
}

std::vector<uint8_t> SimDrive::ModelRead(uint16_t address, uint16_t count, bool& handled) {
    handled = false;
    const SimDriveModel::RegisterKind kind = model_->KindAt(address);
    std::vector<uint8_t> data;
    if (kind == SimDriveModel::RegisterKind::Long && LongInDomainTransfer(address)) {
        // An item longer than four bytes moved with the block protocol, as a drive answers it.
        handled = true;
        const bool starting =
            domainState_.address == address && domainState_.phase == DomainState::UploadStarted;
        SimDomain domain;
        ModelDomain(address, domain, starting && count == 9);
        return DomainRead(domain, address, count);
    }
    if (kind == SimDriveModel::RegisterKind::Long && (count == 4 || count <= 2)) {
        handled = true;
        SimSdoObject object;
        const bool uploading = sdoState_.phase == SdoState::Uploading && sdoState_.address == address;
        if (count == 4) {
            if (!uploading) ModelObject(address, object);
            data = SdoRead(object, address);
        } else {
            if (!ModelObject(address, object)) return Exception(3, kIllegalAddress);
            data.assign(2u * count, 0);
            for (size_t i = 0; i < data.size() && i < object.bytes.size(); ++i) data[i] = object.bytes[i];
            SwapPairs(data.data(), data.size());
        }
    } else if (kind == SimDriveModel::RegisterKind::Domain) {
        handled = true;
        const bool starting =
            domainState_.address == address && domainState_.phase == DomainState::UploadStarted;
        SimDomain domain;
        ModelDomain(address, domain, starting && count == 9);
        return DomainRead(domain, address, count);
    } else {
        std::vector<std::optional<uint16_t>> values;
        const Refusal refusal = model_->ReadRegisters(address, count, values);
        handled = refusal != Refusal::None ||
                  std::any_of(values.begin(), values.end(), [](const auto& v) { return v.has_value(); });
        if (!handled) return {};
        if (refusal != Refusal::None) return Exception(3, ModbusExceptionOf(refusal));
        for (uint32_t k = 0; k < count; ++k) {
            uint16_t value = 0;
            if (values[k]) {
                value = *values[k];
            } else {
                auto it = registers_.find(static_cast<uint16_t>(address + k));
                if (it == registers_.end()) return Exception(3, kIllegalAddress);
                value = it->second;
            }
            data.push_back(static_cast<uint8_t>(value >> 8));
            data.push_back(static_cast<uint8_t>(value));
        }
    }
    std::vector<uint8_t> reply{3, static_cast<uint8_t>(data.size())};
    reply.insert(reply.end(), data.begin(), data.end());
    return reply;
}

// The reply to a write that reaches the model (empty: echo the request), with handled false
// when none of the registers is the model's.
std::vector<uint8_t> SimDrive::ModelWrite(uint8_t function, uint16_t address, uint16_t count,
                                          const uint8_t* data, bool& handled) {
    handled = false;
    const SimDriveModel::RegisterKind kind = model_->KindAt(address);
    const bool blockStart = function == 16 && ((count == 5 && data[0] == 0x50 && data[1] == 0x01) ||
                                               (count == 7 && data[0] == 0x31 && data[1] == 0x01) ||
                                               (count == 1 && data[0] == 0x80));
    const bool longBlock =
        kind == SimDriveModel::RegisterKind::Long && (blockStart || LongInDomainTransfer(address));
    if (kind == SimDriveModel::RegisterKind::Long && !longBlock) {
        handled = true;
        SimSdoObject object;
        object.writable = model_->WritableAt(address);
        if (function == 16 && count == 4) {
            const int done = stats_.sdoDownloadsDone;
            std::vector<uint8_t> reply = SdoWrite(object, address, data);
            if (stats_.sdoDownloadsDone != done) {
                const Refusal refusal = model_->WriteAt(address, object.bytes);
                if (refusal != Refusal::None) return Exception(function, ModbusExceptionOf(refusal));
            }
            return reply;
        }
        if (function == 16 && count == 2) {
            const Refusal refusal = model_->WriteAt(address, {data[1], data[0], data[3], data[2]});
            return refusal == Refusal::None ? std::vector<uint8_t>{}
                                            : Exception(function, ModbusExceptionOf(refusal));
        }
        return Exception(function, kIllegalValue);
    }
    if (kind == SimDriveModel::RegisterKind::Domain || longBlock) {
        handled = true;
        SimDomain domain;
        ModelDomain(address, domain, false);
        const int done = stats_.domainDownloadsDone;
        std::vector<uint8_t> reply = DomainWrite(domain, address, count, data);
        if (stats_.domainDownloadsDone != done) {
            const Refusal refusal = model_->WriteAt(address, domain.bytes);
            if (refusal != Refusal::None) return Exception(function, ModbusExceptionOf(refusal));
        }
        return reply;
    }
    bool any = false;
    for (uint32_t k = 0; k < count; ++k)
        any |= model_->KindAt(static_cast<uint16_t>(address + k)) == SimDriveModel::RegisterKind::Word;
    if (!any) return {};
    // Every register must exist before anything is written: a refused write changes nothing here.
    handled = true;
    for (uint32_t k = 0; k < count; ++k) {
        const uint16_t a = static_cast<uint16_t>(address + k);
        if (model_->KindAt(a) != SimDriveModel::RegisterKind::Word && registers_.find(a) == registers_.end())
            return Exception(function, kIllegalAddress);
    }
    std::vector<uint16_t> values(count);
    for (uint32_t k = 0; k < count; ++k)
        values[k] = static_cast<uint16_t>(data[2 * k] << 8 | data[2 * k + 1]);
    std::vector<bool> owned;
    const Refusal refusal = model_->WriteRegisters(address, values, owned);
    if (refusal != Refusal::None) return Exception(function, ModbusExceptionOf(refusal));
    for (uint32_t k = 0; k < count; ++k)
        if (!owned[k]) registers_[static_cast<uint16_t>(address + k)] = values[k];
    return {};
}

// ---------------------------------------------------------------------------------------
// Version browse

void SimDrive::RunBrowse(uint16_t command) {
    browseFailed_ = false;
    if (components_.empty()) {
        browseFailed_ = true;
        return;
    }
    const int parameter = static_cast<int16_t>(registers_.count(252) ? registers_[252] : 0);
    const bool valid = browseCursor_ >= 0 && browseCursor_ < static_cast<int>(components_.size());
    switch (command) {
        case 1001:
            browseCursor_ = -1;
            browseFailed_ = parameter != 0;
            break;
        case 310:
            browseCursor_ = 0;
            break;
        case 320:
            ++browseCursor_;
            break;
        case 330:
            browseCursor_ = -1;
            break;
        case 4: {
            if (!valid) {
                browseFailed_ = true;
                break;
            }
            const auto& attributes = components_[static_cast<size_t>(browseCursor_)].attributes;
            if (parameter < 0 || parameter >= static_cast<int>(attributes.size())) {
                browseFailed_ = true;
                break;
            }
            browseResponse_ = attributes[static_cast<size_t>(parameter)].first;
            break;
        }
        case 2: {
            browseFailed_ = true;
            if (!valid) break;
            for (const auto& [code, value] : components_[static_cast<size_t>(browseCursor_)].attributes)
                if (code == parameter) {
                    browseResponse_ = value;
                    browseFailed_ = false;
                }
            break;
        }
        default:
            browseFailed_ = true;
            break;
    }
}

}  // namespace drivesim
