#pragma once

// Device compatibility checker: the hardware, firmware and boot identities of a connected device
// and its component tree, filled by the channel drivers during node identification.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Identity.h"

namespace foundation {

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

// Reads the compatibility key the device holds for a component code: the code of the component
// that set it and the minimum version. Empty error on success.
using CompatKeyCallback = void (*)(std::string& error, void* context, int32_t code, int32_t* setby,
                                   uint32_t* major, uint32_t* minor, uint32_t* patch, uint32_t* preState,
                                   uint32_t* preNumber);

// What a refresh needs of the drive object.
class CCompatDrive {
  public:
    virtual ~CCompatDrive() = default;
    // Stop and restart every background poll around the refresh.
    virtual void PauseBackground() = 0;
    virtual void ResumeBackground() = 0;
    // Reads a named 32-bit cell under the drive lock; 0 on success.
    virtual int ReadCellU32(const std::string& name, uint32_t& value) = 0;
};

// The tree control the component details are shown in; the window layer adapts its tree control.
class CCompatTreeCtrl {
  public:
    using Item = intptr_t;  // 0 = no item (top level)
    virtual ~CCompatTreeCtrl() = default;
    // Appends an item last under parent; data is the item's "Component" element.
    virtual Item InsertItem(const std::string& text, Item parent, const CXmlNode* data) = 0;
};

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
    // Resets, stores both identities and writes them as "Component" elements of the main document.
    void SetIdentities(const CIdentity& firmware, const CIdentity& hardware);

    // Reads the serial number from the drive (0 when it cannot be read) and, with a device link,
    // all three component descriptions with nested components. Returns the error of the last
    // description selection. drive may be null (no serial number read).
    std::string Refresh(CCompatDrive* drive);
    // Refresh unless the checker already reflects the drive.
    std::string RefreshIfNeeded(CCompatDrive* drive);

    // Compatibility decisions: empty text = compatible, else the first failing requirement.
    // compatibility: the parameter file's "COMPATIBILITY" element.
    std::string CheckParametersFile(const CXmlNode* compatibility);
    // node: holds a "COMPATIBILITY" block with what a device demands; checked against this
    // checker's components (those of the device the parameters came from).
    std::string CheckDeviceRequirements(const CXmlNode* node);
    // package: a firmware package document (root "Firmware"/"Boot" with "Compatibility" and
    // "Component").
    std::string CheckFirmware(const CXmlDocument& package);

    // Finds a device component by code: firmware, boot, hardware identity, then side and nested
    // lists. *older tells whether wanted's version is greater than the match's. Null when none.
    const CIdentity* FindComponent(const CIdentity& wanted, bool* older) const;
    // The device's key for a component code; asks the device once when it has a key link. Null
    // when there is none.
    const CCompatKey* GetKey(int32_t code);
    void SetKeyCallback(CompatKeyCallback key) { m_key = key; }

    // Writes an identity element: attributes Role, Code, Major, Minor, Patch, PreStatus,
    // PreNumber; the text is the identity's description.
    static void WriteIdentity(const CIdentity& identity, CXmlNode* element);
    // Appends the identities of node's "COMPATIBILITY" block (format 0 and 1 and later).
    static void ReadCompatibilityData(const CXmlNode* node, std::vector<CIdentity>& identities);

    // One tree item per "Component" of components (null = the main document), nested below.
    void FillTree(CCompatTreeCtrl* tree, CCompatTreeCtrl::Item parent, const CXmlNode* components) const;
    // Appends one line per component, indented by indent blanks, children by 3 more.
    void AppendReport(std::string& text, int indent, const CXmlNode* components) const;

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
    // 0 the main document, 1 and 2 the further component descriptions.
    const CXmlDocument& GetDocument(int index) const {
        return *m_documents[index < 1 || index > 2 ? 0 : index];
    }

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
    std::string ReadComponentTree(CXmlNode* parent, int depth, int* count, int document = 0);
    std::string CheckPackageComponent(const CXmlNode* component, int depth);
    std::string CheckAgainstKey(const CIdentity& identity);
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
    CompatKeyCallback m_key = nullptr;
};

}  // namespace foundation
