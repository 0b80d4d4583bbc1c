#pragma once

// Device compatibility checker: the hardware, firmware and boot identities of a connected device
// and its component tree, filled by the channel drivers during node identification.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Identity.h"

class CXmlDocument;
class CXmlNode;

// Version-browse interface of the device. Writes parameter first unless it is -1, then command;
// reads the 16-bit response into *response unless *response is -1 on entry (no response wanted).
// Leaves error empty on success, else sets the error text.
using CompatBrowseCallback = void (*)(std::string& error, void* context, int command, int parameter,
                                      int* response);
// Reads the current component's identity from the device. Empty error on success.
using CompatIdentityCallback = void (*)(std::string& error, void* context, uint32_t* code, uint32_t* major,
                                        uint32_t* minor, uint32_t* patch, uint32_t* preState,
                                        uint32_t* preNumber);

// Version-browse commands.
enum : int {
    kBrowseReadAttributeValue = 2,  // parameter: attribute code
    kBrowseReadAttributeCode = 4,   // parameter: attribute index
    kBrowseBeginEnumeration = 310,
    kBrowseNextComponent = 320,
    kBrowseEndEnumeration = 330,
    kBrowseBeginKeys = 340,
    kBrowseSelectDescription = 1001,  // parameter: 0 main, 1 and 2 further descriptions
};

// Minimum version a device demands of a component, and the component that set it.
struct CCompatKey {
    int32_t setby = 0;
    CIdentity minimum;
};

class CCompatChecker {
  public:
    // State words.
    enum : int {
        kStateNone = 0,
        kStateRefreshed = 1,
        kStateFromDevice = 2,
        kStateFromText = 3,
    };

    CCompatChecker();
    ~CCompatChecker();
    CCompatChecker(const CCompatChecker&) = delete;
    CCompatChecker& operator=(const CCompatChecker&) = delete;

    // Resets and parses the device's hardware and software identity texts (objects 0x1009 and
    // 0x100A, "Hardware 12 v.1.0.0", "Firmware 1234 v.2.3.1-beta7") into the hardware and firmware
    // identities; keeps the link. Returns an empty text, or the error of a text that could not be
    // read (that identity then stays invalid).
    std::string InitFromText(const std::string& hardwareText, const std::string& firmwareText, void* context,
                             CompatBrowseCallback browse, CompatIdentityCallback identity);
    // Resets, keeps the link and reads the device's main component description through the
    // callbacks, then derives the identities. Returns an empty text on success, else the error.
    std::string InitFromDevice(void* context, CompatBrowseCallback browse, CompatIdentityCallback identity);
    // Resets and builds the identities of a node without version browsing: major-only versions, a
    // build above 0 becomes a beta number; the firmware identity is left out when its code equals
    // the boot code. The checker then has no device link.
    void InitFromLegacy(uint32_t hardwareCode, uint32_t hardwareVersion, uint32_t firmwareCode,
                        uint32_t firmwareVersion, uint32_t firmwareBuild, uint32_t bootCode,
                        uint32_t bootVersion, uint32_t bootBuild);
    // Resets, copies a "Components" element into the main document and derives the identities.
    void LoadComponents(const CXmlNode* components);

    // Mark the boot (hardware) identity major-only when it is valid, has that major with minor and
    // patch 0, is a release and is not major-only yet.
    void SetBootMajorOnly(uint32_t major);
    void SetHardwareMajorOnly(uint32_t major);

    // The firmware identity when valid, else the boot identity when valid, else null.
    const CIdentity* GetSoftwareIdentity() const;
    // Names every component with the identity's code: the identities held and the "Component"
    // elements of the main document.
    void SetComponentName(const CIdentity& identity);
    void SetComponentName(int32_t code, const std::string& name);

    const CIdentity& GetHardwareIdentity() const { return m_hardware; }
    const CIdentity& GetFirmwareIdentity() const { return m_firmware; }
    const CIdentity& GetBootIdentity() const { return m_boot; }
    CIdentity& GetHardwareIdentity() { return m_hardware; }
    CIdentity& GetFirmwareIdentity() { return m_firmware; }
    CIdentity& GetBootIdentity() { return m_boot; }

    // Top-level components that are not hardware, boot or firmware; components nested below a
    // top-level one; components of the two further descriptions.
    const std::vector<CIdentity>& GetSideComponents() const { return m_side; }
    const std::vector<CIdentity>& GetNestedComponents() const { return m_nested; }
    const std::vector<CIdentity>& GetFurtherComponents() const { return m_further; }

    // The main component tree (root "Components"); empty root when none was read.
    const CXmlDocument& GetComponentsDocument() const { return *m_documents[0]; }

    // True when the identities came from the device's component descriptions (text or browse),
    // false after a legacy initialisation.
    bool HasDeviceLink() const { return m_deviceLink; }
    int GetState() const { return m_state; }
    uint32_t GetSerialNumber() const { return m_serialNumber; }
    void SetSerialNumber(uint32_t serial) { m_serialNumber = serial; }

    // Empties identities, documents, lists and keys; state 0. The link and serial number stay.
    void Reset();

  private:
    void StoreLink(void* context, CompatBrowseCallback browse, CompatIdentityCallback identity);
    std::string Browse(int command, int parameter, int* response) const;
    std::string ReadComponentTree(CXmlNode* parent, int depth, int* count);
    void DeriveIdentities();
    CXmlNode* FindTopComponent(const CIdentity& identity) const;
    void MarkMajorOnly(CIdentity& identity, uint32_t major);

    CIdentity m_hardware;
    CIdentity m_firmware;
    CIdentity m_boot;
    std::unique_ptr<CXmlDocument> m_documents[3];
    std::vector<CIdentity> m_side;
    std::vector<CIdentity> m_nested;
    std::vector<CIdentity> m_further;
    std::map<int32_t, CCompatKey> m_keys;
    bool m_deviceLink = false;
    int m_state = kStateNone;
    int m_defaultState = kStateFromDevice;
    uint32_t m_serialNumber = 0;
    void* m_context = nullptr;
    CompatBrowseCallback m_browse = nullptr;
    CompatIdentityCallback m_identity = nullptr;
};
