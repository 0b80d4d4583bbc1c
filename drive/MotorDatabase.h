#pragma once
#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"

namespace foundation {
class CXmlAttribute;
}  // namespace foundation

namespace drive {

// One motor of the maker's or the user's database. The elements live in the database documents.
class CMotor {
  public:
    CMotor(foundation::CXmlNode* motor, const std::map<std::string, foundation::CXmlNode*>& components,
           uint8_t user);

    // The motor's own attribute, else the first component that has it.
    const foundation::CXmlAttribute* GetAttribute(std::string_view name) const;
    // All attributes of the motor, then of each component except its "id"; names may repeat.
    void GetAllAttributes(std::vector<const foundation::CXmlAttribute*>& attributes) const;

    uint8_t user = 0;
    foundation::CXmlNode* element = nullptr;
    std::vector<foundation::CXmlNode*> components;
};

// What the loader needs to know of the connected drive.
struct MotorDriveInfo {
    int familyCode = 0;
    bool familyBasedSelection = false;
    std::string familyName;              // user group id with family-based selection
    std::string motorClass = "stepper";  // user group id otherwise
};

// Role keys of attribute definitions: type, brand, model, and the fourth role.
enum class MotorRole { T = 0, B = 1, M = 2, A = 3 };

// The two motor selection dialogs, shown modally; each returns the dialog's result (1 = OK) and
// hands the selection texts back.
class IMotorSelectionDialogs {
  public:
    virtual ~IMotorSelectionDialogs() = default;
    // Families with family-based selection: the family's "Attributes" element.
    virtual int SelectByFamily(foundation::CXmlNode* attributes, std::vector<std::string>& selection) = 0;
    // Other families: the database's "View" element.
    virtual int SelectFromView(foundation::CXmlNode* view, std::vector<std::string>& selection) = 0;
};

// The motor tables of the drive object: maker's "Motors.xml" merged with the user's "MotorsUser.xml".
class CMotorDatabase {
  public:
    static constexpr const char* kDatabaseFile = "Motors.xml";
    static constexpr const char* kUserFile = "MotorsUser.xml";
    static constexpr const char* kOldUserFile = "UserMotors.xml";

    CMotorDatabase();
    ~CMotorDatabase();
    CMotorDatabase(const CMotorDatabase&) = delete;
    CMotorDatabase& operator=(const CMotorDatabase&) = delete;

    // Empty text on success, else the error. Does nothing while motors are loaded.
    // databaseFolder: folder of the current configuration source; userFolder: the settings folder.
    std::string LoadMotorDatabase(const std::filesystem::path& databaseFolder,
                                  const std::filesystem::path& userFolder, const MotorDriveInfo& drive);
    // Loads the user file, converting the older one or recreating a foreign one.
    void LoadUserMotors(const std::filesystem::path& userFolder);
    // Writes the user document back (temp file + rename). False with the reason on failure.
    bool SaveUserMotors(const std::filesystem::path& userFolder, std::string* error = nullptr);
    void ClearMotorDatabase();
    void ReadMotorAttributes(foundation::CXmlNode* element);

    // Opens the selection dialog that fits the family; gives the dialog's result.
    int SelectMotor(std::vector<std::string>& selection, bool familyBasedSelection,
                    IMotorSelectionDialogs& dialogs) const;

    std::string GetEnumTitle(const std::string& format, int value) const;
    foundation::CXmlNode* FindFormat(const std::string& device) const;

    // Motor by id, any letter case; null when unknown.
    CMotor* FindMotor(std::string_view id) const;
    const std::map<std::string, std::unique_ptr<CMotor>>& Motors() const { return motors_; }
    const std::map<std::string, foundation::CXmlNode*>& AttributesByName() const { return attrByName_; }
    const std::map<std::string, foundation::CXmlNode*>& AttributesByDevice() const { return attrByDevice_; }
    const std::map<std::string, foundation::CXmlNode*>& Formats() const { return formats_; }
    const std::string& RoleName(MotorRole role) const { return roles_[static_cast<size_t>(role)]; }
    int Version() const { return version_; }
    // Inputs of the selection dialogs: the family's "Attributes" element, or the database's "View".
    foundation::CXmlNode* FamilyAttributes() const { return familyAttributes_; }
    foundation::CXmlNode* View() const;
    foundation::CXmlDocument& Document() { return database_; }
    foundation::CXmlDocument& UserDocument() { return user_; }

  private:
    std::map<std::string, std::unique_ptr<CMotor>> motors_;
    std::map<std::string, foundation::CXmlNode*> attrByName_;
    std::map<std::string, foundation::CXmlNode*> attrByDevice_;
    std::map<std::string, foundation::CXmlNode*> formats_;
    std::array<std::string, 4> roles_;
    int version_ = 0;
    foundation::CXmlNode* familyAttributes_ = nullptr;
    foundation::CXmlDocument database_;
    foundation::CXmlDocument user_;
};

// The user motor file in its current form; a file that does not load, or has a foreign root, gives
// an empty one.
std::unique_ptr<foundation::CXmlDocument> ConvertOldMotorsFile(const std::filesystem::path& path);
// Gives a new user motor element its full attribute set with default values.
void InitMotorAttributes(foundation::CXmlNode* motor);
// "Attr" children with a non-empty "name", by name; a later one replaces an earlier one.
void ReadMotorAttributeMap(foundation::CXmlNode* element, std::map<std::string, foundation::CXmlNode*>& map);

}  // namespace drive
