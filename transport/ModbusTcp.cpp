#include "transport/ModbusTcp.h"

#include <algorithm>

#include "foundation/ProgramSwitches.h"
#include "transport/ModbusCodes.h"
#include "transport/ModbusTexts.h"

using namespace foundation;

namespace transport {

CModbusTcp::CModbusTcp(CErrorPair* owner, int channelIndex) : CModbusChannel(owner, channelIndex) {}

CModbusTcp::~CModbusTcp() {
    Disconnect();
}

int CModbusTcp::GetSocketErrorText(std::string& text, const char* operation) const {
    text = std::string(operation) + ":" + socket_.LastErrorText();
    return socket_.LastError();
}

int CModbusTcp::Connect() {
    errorText_.clear();
    if (socket_.IsOpen() || client_) {
        const std::string keep = boxAddressText_;
        Disconnect();
        boxAddressText_ = keep;
    }
    if (boxAddressText_.empty())
        boxAddressText_ = Format("%u.%u.%u.%u", boxAddress_ >> 24, (boxAddress_ >> 16) & 0xFF,
                                 (boxAddress_ >> 8) & 0xFF, boxAddress_ & 0xFF);
    if (socket_.Connect(boxAddressText_, port_, std::max<uint32_t>(boxTimeout_, 1000)) != 0) {
        GetSocketErrorText(errorText_, Format("connect(%u)", port_).c_str());
        socket_.Close();
        return -1;
    }
    socket_.SetNoDelay(true);
    errorText_.clear();
    client_ = std::make_unique<CModbusTcpClient>(socket_, boxTimeout_);
    errorCounter_.store(0);
    client_->unitId = 1;
    if (g_LogErrors.load()) errorLog_.Create(boxAddressText_);
    return 0;
}

void CModbusTcp::Disconnect() {
    client_.reset();
    socket_.Close();
    boxAddressText_.clear();
    errorLog_.Close();
}

int CModbusTcp::ConnectOnDemand() {
    if (IsConnected()) return 0;
    boxAddressText_.clear();
    return Connect();
}

int CModbusTcp::ReadRegisters(uint16_t address, uint16_t count, void* buffer, size_t bufferSize,
                              uint8_t slave) {
    if (!client_) {
        errorText_ = "the box is not connected";
        errorCounter_.fetch_add(1);
        return CModbusTcpClient::kSendError;
    }
    client_->unitId = slave ? slave : 1;
    const int rc = client_->ReadRegisters(address, count, buffer, bufferSize);
    if (rc != 2 * count) errorCounter_.fetch_add(1);
    return rc;
}

int CModbusTcp::WriteRegisters(uint16_t address, uint16_t count, const void* data, size_t dataSize,
                               uint8_t slave) {
    if (!client_) {
        errorText_ = "the box is not connected";
        errorCounter_.fetch_add(1);
        return -1;
    }
    client_->unitId = slave ? slave : 1;
    const int rc = client_->WriteRegisters(address, count, data, dataSize);
    if (rc != 2 * count) errorCounter_.fetch_add(1);
    return rc;
}

int CModbusTcp::WriteRegister(uint16_t address, uint16_t value, uint8_t slave) {
    if (!client_) {
        errorText_ = "the box is not connected";
        errorCounter_.fetch_add(1);
        return -1;
    }
    client_->unitId = slave ? slave : 1;
    const int rc = client_->WriteRegister(address, value);
    if (rc != 2) errorCounter_.fetch_add(1);
    return rc;
}

void CModbusTcp::DrainReceive() {
    if (client_) client_->DrainReceive();
}

void CModbusTcp::LogError(const std::string& text, uint32_t code) {
    errorLog_.Append(commState_, text, code);
}

// ---------------------------------------------------------------------------------------
// Register access for the SDO, domain and identification layers

int CModbusTcp::RegRead(uint8_t slave, uint16_t address, uint16_t count, void* buffer) {
    const int rc = ReadRegisters(address, count, buffer, 2u * count, slave);
    lastTransaction_ = rc;
    if (rc == 2 * count) return 0;
    return rc < 0 ? rc : -1;  // a time-out or a short count is a failure too
}

int CModbusTcp::RegWrite(uint8_t slave, uint16_t address, uint16_t count, const void* data) {
    const int rc = WriteRegisters(address, count, data, 2u * count, slave);
    lastTransaction_ = rc;
    return rc == 2 * count ? 0 : -1;
}

int CModbusTcp::RegWriteSingle(uint8_t slave, uint16_t address, uint16_t value) {
    const int rc = WriteRegister(address, value, slave);
    lastTransaction_ = rc;
    return rc == 2 ? 0 : -1;
}

// ---------------------------------------------------------------------------------------
// Domain transfers

int CModbusTcp::DomainBegin() {
    errorText_.clear();
    return ConnectOnDemand() == 0 ? 0 : -1;
}

int CModbusTcp::SendTerminate(uint8_t slave, uint16_t address) {
    return RegWriteSingle(slave, address, 0x0080);
}

int CModbusTcp::WriteEmptyBlock(uint8_t slave, uint16_t address) {
    return RegWriteSingle(slave, address, 0x0030);
}

namespace {

// Transfer codes carry their own texts; exchange failures the client's detail.
std::string TransferText(int code, const std::string& detail) {
    if (code >= domain_code::kUploadNotSupported && code <= domain_code::kFirmwareRefused)
        return DomainCodeText(code);
    return detail;
}

}  // namespace

std::string CModbusTcp::TransferFailureText(int code) {
    errorText_ = TransferText(code, ClientText());
    return errorText_;
}

}  // namespace transport
