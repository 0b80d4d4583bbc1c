// Node identification on the ADS channel, and the callbacks through which the compatibility
// checker asks the drive further questions. The drive's identification objects are CoE objects
// of the slave; a legacy drive has only its fixed version objects.
#include <cstring>

#include "foundation/LogFile.h"
#include "transport/ChannelTrace.h"
#include "transport/TwincatAds.h"

using namespace foundation;

namespace transport {

namespace {

constexpr uint32_t Coe(uint16_t index, uint8_t sub) {
    return static_cast<uint32_t>(index) << 16 | sub;
}

constexpr uint32_t kVendorCode = Coe(0x5FFD, 0x0E);
constexpr uint32_t kBrowsePresent = Coe(0x5FF2, 0x01);
constexpr uint32_t kBrowseCommand = Coe(0x5FF2, 0x02);
constexpr uint32_t kBrowseParameter = Coe(0x5FF2, 0x03);
constexpr uint32_t kBrowseResponse = Coe(0x5FF2, 0x04);
constexpr uint32_t kIdentity = Coe(0x5FF3, 0x01);  // six objects
constexpr uint32_t kSoftwareText = Coe(0x100A, 0x00);
constexpr uint32_t kHardwareText = Coe(0x1009, 0x00);
constexpr uint32_t kHardwareMajorOnly = Coe(0x5FFD, 0x01);
constexpr uint32_t kBootMajorOnly = Coe(0x5FFD, 0x04);

const char* const kIdentityNames[6] = {
    "IdentityCode",         "IdentityVersionMajor",    "IdentityVersionMinor",
    "IdentityVersionPatch", "IdentityPreReleaseState", "IdentityPreReleaseVersion"};

// A 2-byte object (or 4 bytes where asked); false when it could not be read whole.
bool ReadValue(CTwincatAds& channel, uint32_t offset, uint32_t size, uint32_t* value) {
    uint8_t b[4] = {};
    uint32_t got = 0;
    if (!channel.SyncReadReq(offset, size, b, &got) || got != size) return false;
    *value = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
             static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
    return true;
}

bool ReadText(CTwincatAds& channel, uint32_t offset, std::string* text) {
    char buffer[100] = {};
    uint32_t got = 0;
    if (!channel.SyncReadReq(offset, sizeof buffer, buffer, &got)) return false;
    // Terminated inside the buffer: a text of 100 bytes keeps its first 99.
    *text = std::string(buffer, strnlen(buffer, std::min<size_t>(got, sizeof buffer - 1)));
    return true;
}

}  // namespace

void CTwincatAds::VersionBrowse(std::string& errorText, void* context, int command, int parameter,
                                int* response) {
    auto* self = static_cast<CTwincatAds*>(context);
    errorText.clear();
    if (parameter != -1) {
        const uint8_t value[2] = {static_cast<uint8_t>(parameter), static_cast<uint8_t>(parameter >> 8)};
        if (!self->SyncWriteReq(kBrowseParameter, 2, value)) {
            errorText = Format("Error writing VersionBrowseParameter:%s", self->owner_->Text().c_str());
            return;
        }
    }
    const uint8_t value[2] = {static_cast<uint8_t>(command), static_cast<uint8_t>(command >> 8)};
    if (!self->SyncWriteReq(kBrowseCommand, 2, value)) {
        errorText = Format("Error writing VersionBrowseCommand %d:", command);
        return;
    }
    if (response && *response != -1) {
        uint32_t answer = 0;
        if (!ReadValue(*self, kBrowseResponse, 2, &answer)) {
            errorText = Format("Error reading VersionBrowseResponse:%s", self->owner_->Text().c_str());
            return;
        }
        *response = static_cast<int16_t>(answer);
    }
}

void CTwincatAds::ReadIdentity(std::string& errorText, void* context, uint32_t* code, uint32_t* major,
                               uint32_t* minor, uint32_t* patch, uint32_t* preState, uint32_t* preNumber) {
    auto* self = static_cast<CTwincatAds*>(context);
    errorText.clear();
    uint32_t* out[6] = {code, major, minor, patch, preState, preNumber};
    for (int i = 0; i < 6; ++i) {
        uint32_t value = 0;
        if (!ReadValue(*self, kIdentity + static_cast<uint32_t>(i), 2, &value)) {
            errorText = Format("Error reading '%s':%s", kIdentityNames[i], self->owner_->Text().c_str());
            return;
        }
        if (out[i]) *out[i] = value;
    }
}

int CTwincatAds::IdentifyNode(CCompatChecker* checker, NodeIdentRecord* node, uint32_t* kind,
                              uint8_t* wordSwap, uint32_t* build) {
    if (!node) return kNodeUnknown;
    if (!connected_ && !Connect()) return static_cast<int>(lastAdsCode_);
    // The node id is the slave's AMS port; 0 keeps the slave chosen in the connect dialog,
    // whose EtherCAT address may not fit the id.
    request_.netId = targetNetId_;
    request_.port = node->slave != 0 ? node->slave : targetPort_;
    if (wordSwap) *wordSwap = 0;
    CCompatChecker local;
    return IdentifyInner(checker ? *checker : local, *node, kind, build);
}

int CTwincatAds::IdentifyInner(CCompatChecker& checker, NodeIdentRecord& node, uint32_t* kind,
                               uint32_t* build) {
    uint32_t value = 0;
    const bool vendorRead = ReadValue(*this, kVendorCode, 2, &value);
    if (!vendorRead || value != kBrandVendorCode) {
        DebugLog().Write(std::string("It is not a ") + kBrandName + " product");
        owner_->Set(kNodeUnknown, kNodeUnknownText);
        return !vendorRead && lastAdsCode_ != 0 ? static_cast<int>(lastAdsCode_) : kNodeUnknown;
    }
    uint32_t browse = 0xFFFF;
    if (!ReadValue(*this, kBrowsePresent, 2, &browse)) browse = 0xFFFF;

    if (browse != 0xFFFF) {
        std::string software, hardware;
        bool texts = false;
        {
            OwnerErrorGuard keep(owner_);
            texts = ReadText(*this, kSoftwareText, &software) && ReadText(*this, kHardwareText, &hardware);
        }
        if (texts)
            checker.InitFromText(hardware, software, this, &CTwincatAds::VersionBrowse,
                                 &CTwincatAds::ReadIdentity);
        else
            checker.InitFromDevice(this, &CTwincatAds::VersionBrowse, &CTwincatAds::ReadIdentity);
        OwnerErrorGuard keep(owner_);
        const CIdentity& hw = checker.GetHardwareIdentity();
        node.hardwareCode = static_cast<uint32_t>(hw.code);
        if (hw.IsValid() && hw.version.preState == 0 && ReadValue(*this, kHardwareMajorOnly, 2, &value) &&
            value)
            checker.SetHardwareMajorOnly(value);
        const CIdentity& fw = checker.GetFirmwareIdentity();
        if (fw.code >= 1 && fw.code <= 32767) {
            node.firmwareCode = static_cast<uint32_t>(fw.code);
            node.firmwareVersion = static_cast<uint32_t>(fw.version.major);
            if (kind) *kind = kIdentityKindFirmware;
            if (build) *build = fw.version.preNumber > 0 ? static_cast<uint32_t>(fw.version.preNumber) : 0;
            const CIdentity& boot = checker.GetBootIdentity();
            if (boot.IsValid() && boot.version.preState == 0 && ReadValue(*this, kBootMajorOnly, 2, &value) &&
                value)
                checker.SetBootMajorOnly(value);
        }
        return 0;
    }

    // Legacy drive: every one of the version objects is read, and all must answer.
    struct LegacyObject {
        uint32_t offset;
        uint32_t size;
    };
    static constexpr LegacyObject kLegacy[9] = {
        {Coe(0x5FFB, 0x01), 2}, {Coe(0x5FFD, 0x04), 2}, {Coe(0x5FFD, 0x0C), 2},
        {Coe(0x5FFB, 0x02), 2}, {Coe(0x5FFD, 0x07), 2}, {Coe(0x5FFD, 0x0D), 2},
        {Coe(0x5FFD, 0x0B), 2}, {Coe(0x5FFD, 0x0A), 4}, {Coe(0x5FFD, 0x01), 2},
    };
    uint32_t v[9] = {};
    bool all = true;
    for (int i = 0; i < 9; ++i)
        if (!ReadValue(*this, kLegacy[i].offset, kLegacy[i].size, &v[i])) all = false;
    if (!all) {
        owner_->Set(kNodeUnknown, kNodeUnknownText);
        return lastAdsCode_ != 0 ? static_cast<int>(lastAdsCode_) : kNodeUnknown;
    }
    const uint32_t bootCode = v[0], bootVersion = v[1], bootBuild = v[2];
    const uint32_t hardwareCode = v[7], hardwareVersion = v[8];
    uint32_t firmwareCode = v[3], firmwareVersion = v[4], firmwareBuild = v[5];
    if (v[6] < 2) {
        firmwareCode = bootCode;
        firmwareVersion = bootVersion;
        firmwareBuild = bootBuild;
        if (kind) *kind = kIdentityKindBoot;
    } else if (kind) {
        *kind = kIdentityKindFirmware;
    }
    if (build) *build = firmwareBuild;
    checker.InitFromLegacy(hardwareCode, hardwareVersion, firmwareCode, firmwareVersion, firmwareBuild,
                           bootCode, bootVersion, bootBuild);
    node.hardwareCode = hardwareCode;
    node.firmwareCode = firmwareCode;
    node.firmwareVersion = firmwareVersion;
    return 0;
}

}  // namespace transport
