// Node identification on the serial and box channels, and the callbacks through which the
// compatibility checker asks the drive further questions.
#include <algorithm>
#include <cstring>

#include "foundation/LogFile.h"
#include "transport/ModbusCodes.h"
#include "transport/ModbusRtu.h"
#include "transport/ModbusTcp.h"

using namespace foundation;

namespace transport {

namespace {

const char* const kIdentityNames[6] = {
    "IdentityCode",         "IdentityVersionMajor",    "IdentityVersionMinor",
    "IdentityVersionPatch", "IdentityPreReleaseState", "IdentityPreReleaseVersion"};

uint32_t Join32(const uint16_t words[2], bool swapped) {
    return swapped ? static_cast<uint32_t>(words[0]) << 16 | words[1]
                   : static_cast<uint32_t>(words[1]) << 16 | words[0];
}

void NotOurProduct(CErrorPair* owner) {
    DebugLog().Write(std::string("It is not a ") + kBrandName + " product");
    if (owner) owner->Set(kNodeUnknown, kNodeUnknownText);
}

// What both channels do once the drive is known to be a newer one: the checker's
// identities give the codes, the version and the kind.
struct IdentityResult {
    uint32_t hardwareCode = 0, firmwareCode = 0, firmwareVersion = 0, kind = 0, build = 0;
    bool bootCandidate = false;  // a valid release boot identity: may become major-only
};

IdentityResult FromChecker(const CCompatChecker& checker) {
    IdentityResult r;
    r.hardwareCode = static_cast<uint32_t>(checker.GetHardwareIdentity().code);
    const CIdentity& firmware = checker.GetFirmwareIdentity();
    const CIdentity& boot = checker.GetBootIdentity();
    if (firmware.IsValid()) {
        r.firmwareCode = static_cast<uint32_t>(firmware.code);
        r.firmwareVersion = static_cast<uint32_t>(firmware.version.major);
        r.kind = kIdentityKindFirmware;
        if (firmware.version.preNumber > 0) r.build = firmware.version.preNumber;
        r.bootCandidate = boot.IsValid() && boot.version.preState == 0;
    } else {
        r.firmwareCode = static_cast<uint32_t>(boot.code);
        r.firmwareVersion = static_cast<uint32_t>(boot.version.major);
        r.kind = kIdentityKindBoot;
        if (boot.version.preNumber > 0) r.build = boot.version.preNumber;
    }
    return r;
}

// The identity text of a domain, terminated inside its 100-byte buffer.
std::string TextFrom(const char* buffer, uint32_t size) {
    const size_t n = std::min<size_t>(size, 99);
    return std::string(buffer, strnlen(buffer, n));
}

// A drive without the browse registers: single registers give the versions (0 where a
// register does not answer) and the checker is set up from them.
template <class ReadOr0>
void IdentifyLegacy(ReadOr0 readOr0, CCompatChecker& checker, uint32_t hardwareCode, uint32_t firmwareCode,
                    NodeIdentRecord& node, uint32_t* kind, uint32_t* build) {
    const uint16_t hardwareVersion = readOr0(ident_reg::kHardwareVersion);
    const uint16_t bootVersion = readOr0(ident_reg::kBootVersion);
    const uint16_t bootBuild = readOr0(ident_reg::kBootBuild);
    const uint16_t firmwareVersion = readOr0(ident_reg::kFirmwareVersionLegacy);
    uint32_t version = 0, buildNumber = 0;
    if ((firmwareVersion & 0x8000) == 0) {
        const uint16_t bootCode = readOr0(ident_reg::kBootCode);
        buildNumber = readOr0(ident_reg::kFirmwareBuild);
        version = firmwareVersion;
        if (kind) *kind = kIdentityKindFirmware;
        checker.InitFromLegacy(hardwareCode, hardwareVersion, firmwareCode, firmwareVersion, buildNumber,
                               bootCode, bootVersion, bootBuild);
    } else {
        version = bootVersion;
        buildNumber = bootBuild;
        if (kind) *kind = kIdentityKindBoot;
        checker.InitFromLegacy(hardwareCode, hardwareVersion, firmwareCode, bootVersion, bootBuild,
                               firmwareCode, bootVersion, bootBuild);
    }
    if (build) *build = buildNumber;
    node.hardwareCode = hardwareCode;
    node.firmwareCode = firmwareCode;
    node.firmwareVersion = version;
}

// A newer drive's identity texts by domain upload; what fails there does not show in the
// owner's error pair, only in the channel's error log. True when both arrived.
template <class Channel>
bool UploadIdentityTexts(Channel& channel, CErrorPair* owner, uint8_t slave, std::string& hardwareText,
                         std::string& softwareText) {
    char software[100] = {}, hardware[100] = {};
    uint32_t softwareSize = 99, hardwareSize = 99;
    int softwareRc = 0, hardwareRc = 0;
    {
        OwnerErrorGuard keep(owner);
        softwareRc = channel.UploadFile(ident_reg::kSoftwareText, software, &softwareSize, kDomainQuiet,
                                        nullptr, 0, 0, 0, slave);
        hardwareRc = channel.UploadFile(ident_reg::kHardwareText, hardware, &hardwareSize, kDomainQuiet,
                                        nullptr, 0, 0, 0, slave);
    }
    if (softwareRc != 0)
        channel.LogError("Errore lettura stringa sw (modbus 114)", static_cast<uint32_t>(softwareRc));
    if (hardwareRc != 0)
        channel.LogError("Errore lettura stringa hw (modbus 110)", static_cast<uint32_t>(hardwareRc));
    if (softwareRc != 0 || hardwareRc != 0) return false;
    hardwareText = TextFrom(hardware, hardwareSize);
    softwareText = TextFrom(software, softwareSize);
    return true;
}

// Codes, version and kind of a newer drive from the checker's identities; a release boot
// identity may be narrowed to the major-only boot version register.
template <class ReadOr0>
void TakeCheckerIdentity(ReadOr0 readOr0, CCompatChecker& checker, NodeIdentRecord& node, uint32_t* kind,
                         uint32_t* build) {
    const IdentityResult result = FromChecker(checker);
    if (result.bootCandidate) {
        const uint16_t majorOnly = readOr0(ident_reg::kBootVersion);
        if (majorOnly != 0) checker.SetBootMajorOnly(majorOnly);
    }
    node.hardwareCode = result.hardwareCode;
    node.firmwareCode = result.firmwareCode;
    node.firmwareVersion = result.firmwareVersion;
    if (kind) *kind = result.kind;
    if (build) *build = result.build;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Serial channel

void CModbusRtu::VersionBrowse(std::string& errorText, void* context, int command, int parameter,
                               int* response) {
    auto* self = static_cast<CModbusRtu*>(context);
    errorText.clear();
    if (parameter != -1) {
        const uint16_t value = static_cast<uint16_t>(parameter);
        const int rc = self->SdoInitiateDownload(0, ident_reg::kBrowseParameter, 2, &value);
        if (rc != 0) {
            errorText = Format("Errore scrittura VersionBrowseParameter: %d", rc);
            return;
        }
    }
    const uint16_t value = static_cast<uint16_t>(command);
    const int rc = self->SdoInitiateDownload(0, ident_reg::kBrowseCommand, 2, &value);
    if (rc != 0) {
        errorText = Format("Errore scrittura VersionBrowseCommand %d: %d", command, rc);
        return;
    }
    if (response && *response != -1) {
        uint16_t answer = 0;
        const int read = self->ReadRegisters(ident_reg::kBrowseResponse, 1, &answer, 0);
        if (read != 0) {
            errorText = Format("Errore lettura VersionBrowseResponse: %d", read);
            return;
        }
        *response = static_cast<int16_t>(answer);
    }
}

void CModbusRtu::ReadIdentity(std::string& errorText, void* context, uint32_t* code, uint32_t* major,
                              uint32_t* minor, uint32_t* patch, uint32_t* preState, uint32_t* preNumber) {
    auto* self = static_cast<CModbusRtu*>(context);
    errorText.clear();
    uint32_t* out[6] = {code, major, minor, patch, preState, preNumber};
    for (int i = 0; i < 6; ++i) {
        uint16_t value = 0;
        const int rc = self->ReadRegisters(static_cast<uint16_t>(ident_reg::kIdentity + i), 1, &value, 0);
        if (rc != 0) {
            errorText = Format("Error %d reading '%s'", rc, kIdentityNames[i]);
            return;
        }
        if (out[i]) *out[i] = value;
    }
}

int CModbusRtu::IdentifyNode(CCompatChecker* checker, NodeIdentRecord* node, uint32_t* kind,
                             uint8_t* wordSwap, uint32_t* build) {
    int rc = Connect(false);
    if (rc != 0) return rc;
    const uint32_t timeout = std::max<uint32_t>(settings_.receiveTimeout, 500);
    SetupFromSettings(timeout, false);
    pause_ = std::max<uint32_t>(timeout / 8, 50);
    CCompatChecker local;
    rc = IdentifyInner(checker ? checker : &local, node, kind, wordSwap, build, node->slave);
    SetupFromSettings(settings_.receiveTimeout, false);
    return rc;
}

int CModbusRtu::IdentifyInner(CCompatChecker* checker, NodeIdentRecord* node, uint32_t* kind,
                              uint8_t* wordSwap, uint32_t* build, uint8_t slave) {
    auto unknown = [&](int code) {
        if (owner_) owner_->Set(kNodeUnknown, kNodeUnknownText);
        return code;
    };
    auto readOr0 = [&](uint16_t address) {
        uint16_t v = 0;
        return ReadRegisters(address, 1, &v, slave) == 0 ? v : uint16_t{0};
    };
    uint16_t value = 0;
    int rc = ReadRegisters(ident_reg::kPause, 1, &value, slave);
    if (rc == rtu_code::kDeviceGone) {
        // The adapter went away and may be back under the same name: one fresh start.
        Disconnect();
        if (Connect(false) != 0) return unknown(rtu_code::kDeviceGone);
        rc = ReadRegisters(ident_reg::kPause, 1, &value, slave);
        if (rc == rtu_code::kDeviceGone) return unknown(rtu_code::kDeviceGone);
    }
    if (rc == rtu_code::kReceiveShort) return unknown(rtu_code::kReceiveShort);
    if (rc == 0 && value != pause_)
        WriteRegisterFrame(ident_reg::kPause, static_cast<uint16_t>(pause_), slave);

    rc = ReadRegisters(ident_reg::kVendorCode, 1, &value, slave);
    if (rc != 0 || value != kBrandVendorCode) {
        NotOurProduct(owner_);
        return rc != 0 ? rc : kNodeUnknown;
    }
    uint16_t browse = 0xFFFF;
    if (ReadRegisters(ident_reg::kBrowsePresent, 1, &browse, slave) != 0) browse = 0xFFFF;
    if (wordSwap) *wordSwap = 0;
    if (build) *build = 0;

    if (browse == 0xFFFF) {
        bool swapped = false;
        if (ReadRegisters(ident_reg::kWordSwap, 1, &value, slave) == 0 ||
            ReadRegisters(ident_reg::kWordSwapAlt, 1, &value, slave) == 0)
            swapped = (value & 1) != 0;
        if (wordSwap) *wordSwap = swapped ? 1 : 0;
        uint16_t words[2] = {};
        rc = ReadRegisters(ident_reg::kHardwareCode, 2, words, slave);
        if (rc != 0) return unknown(rc);
        const uint32_t hardwareCode = Join32(words, swapped);
        uint32_t firmwareCode = 0;
        if (ReadRegisters(ident_reg::kFirmwareCode, 1, &value, slave) == 0) {
            firmwareCode = value;
        } else {
            rc = ReadRegisters(ident_reg::kFirmwareCodeAlt, 2, words, slave);
            if (rc != 0) return unknown(rc);
            firmwareCode = Join32(words, swapped);
        }
        IdentifyLegacy(readOr0, *checker, hardwareCode, firmwareCode, *node, kind, build);
        return 0;
    }

    node_ = slave;
    std::string hardwareText, softwareText;
    if (UploadIdentityTexts(*this, owner_, slave, hardwareText, softwareText))
        checker->InitFromText(hardwareText, softwareText, this, &CModbusRtu::VersionBrowse,
                              &CModbusRtu::ReadIdentity);
    else
        checker->InitFromDevice(this, &CModbusRtu::VersionBrowse, &CModbusRtu::ReadIdentity);
    TakeCheckerIdentity(readOr0, *checker, *node, kind, build);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Box channel

void CModbusTcp::VersionBrowse(std::string& errorText, void* context, int command, int parameter,
                               int* response) {
    auto* client = static_cast<CModbusTcpClient*>(context);
    errorText.clear();
    if (parameter != -1) {
        const int rc = client->WriteRegister(ident_reg::kBrowseParameter, static_cast<uint16_t>(parameter));
        if (rc != 2) {
            errorText = Format("Errore scrittura VersionBrowseParameter: %d", rc);
            return;
        }
    }
    if (client->WriteRegister(ident_reg::kBrowseCommand, static_cast<uint16_t>(command)) != 2) {
        errorText = Format("Errore scrittura VersionBrowseCommand %d", command);
        return;
    }
    if (response && *response != -1) {
        uint16_t answer = 0;
        const int rc = client->ReadRegisters(ident_reg::kBrowseResponse, 1, &answer, sizeof answer);
        if (rc != 2) {
            errorText = Format("Errore lettura VersionBrowseResponse: %d", rc);
            return;
        }
        *response = static_cast<int16_t>(answer);
    }
}

void CModbusTcp::ReadIdentity(std::string& errorText, void* context, uint32_t* code, uint32_t* major,
                              uint32_t* minor, uint32_t* patch, uint32_t* preState, uint32_t* preNumber) {
    auto* client = static_cast<CModbusTcpClient*>(context);
    errorText.clear();
    uint32_t* out[6] = {code, major, minor, patch, preState, preNumber};
    for (int i = 0; i < 6; ++i) {
        uint16_t value = 0;
        const int rc =
            client->ReadRegisters(static_cast<uint16_t>(ident_reg::kIdentity + i), 1, &value, sizeof value);
        if (rc != 2) {
            errorText = Format("Error reading '%s': %d", kIdentityNames[i], rc);
            return;
        }
        if (out[i]) *out[i] = value;
    }
}

int CModbusTcp::IdentifyNode(CCompatChecker* checker, NodeIdentRecord* node, uint32_t* kind,
                             uint8_t* wordSwap, uint32_t* build) {
    if (ConnectOnDemand() != 0) {
        if (owner_) owner_->Set(kNodeUnknown, errorText_);
        return -1;
    }
    const uint32_t saved = boxTimeout_;
    client_->SetTimeout(std::max<uint32_t>(boxTimeout_, 1000));
    CCompatChecker local;
    const int rc = IdentifyInner(checker ? checker : &local, node, kind, wordSwap, build, node->slave);
    if (client_) client_->SetTimeout(saved);
    return rc;
}

int CModbusTcp::IdentifyInner(CCompatChecker* checker, NodeIdentRecord* node, uint32_t* kind,
                              uint8_t* wordSwap, uint32_t* build, uint8_t slave) {
    // A time-out (0) fails the identification as well; its code is then -304.
    auto failCode = [](int rc) { return rc < 0 ? rc : kNodeUnknown; };
    auto unknown = [&](int rc) {
        if (owner_) owner_->Set(kNodeUnknown, kNodeUnknownText);
        return failCode(rc);
    };
    auto read = [&](uint16_t address, uint16_t count, void* buffer) {
        return ReadRegisters(address, count, buffer, 2u * count, slave);
    };
    auto readOr0 = [&](uint16_t address) {
        uint16_t v = 0;
        return read(address, 1, &v) == 2 ? v : uint16_t{0};
    };
    uint16_t browse = 0xFFFF;
    int rc = read(ident_reg::kBrowsePresent, 1, &browse);
    if (rc != 2) {
        const std::string text = client_->LastException() == kBoxUsbDisconnected
                                     ? std::string("Mirel: USB port disconnected")
                                     : client_->ErrorText();
        DebugLog().Write(text);
        if (owner_) owner_->Set(kNodeUnknown, text);
        return failCode(rc);
    }
    uint16_t value = 0;
    rc = read(ident_reg::kVendorCode, 1, &value);
    if (rc != 2 || value != kBrandVendorCode) {
        NotOurProduct(owner_);
        return rc != 2 ? failCode(rc) : kNodeUnknown;
    }
    if (wordSwap) *wordSwap = 0;
    if (build) *build = 0;

    if (browse == 0xFFFF) {
        bool swapped = false;
        if (read(ident_reg::kWordSwap, 1, &value) == 2 || read(ident_reg::kWordSwapAlt, 1, &value) == 2)
            swapped = (value & 1) != 0;
        if (wordSwap) *wordSwap = swapped ? 1 : 0;
        uint16_t words[2] = {};
        rc = read(ident_reg::kHardwareCode, 2, words);
        if (rc != 4) {
            LogError("Errore lettura HardwareCode", static_cast<uint32_t>(rc));
            return unknown(rc);
        }
        const uint32_t hardwareCode = Join32(words, swapped);
        uint32_t firmwareCode = 0;
        if (read(ident_reg::kFirmwareCode, 2, words) == 4) {
            firmwareCode = Join32(words, false);  // the swap applies to 21-22 and 122-123 only
        } else {
            rc = read(ident_reg::kFirmwareCodeAlt, 2, words);
            if (rc != 4) {
                LogError("Errore lettura FirmwareCode", static_cast<uint32_t>(rc));
                return unknown(rc);
            }
            firmwareCode = Join32(words, swapped);
        }
        IdentifyLegacy(readOr0, *checker, hardwareCode, firmwareCode, *node, kind, build);
        return 0;
    }

    std::string hardwareText, softwareText;
    const bool texts = UploadIdentityTexts(*this, owner_, slave, hardwareText, softwareText);
    client_->unitId = slave;
    if (texts)
        checker->InitFromText(hardwareText, softwareText, client_.get(), &CModbusTcp::VersionBrowse,
                              &CModbusTcp::ReadIdentity);
    else
        checker->InitFromDevice(client_.get(), &CModbusTcp::VersionBrowse, &CModbusTcp::ReadIdentity);
    TakeCheckerIdentity(readOr0, *checker, *node, kind, build);
    return 0;
}

}  // namespace transport
