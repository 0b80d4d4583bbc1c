#include "drive/MotorDatabase.h"

#include <cstdio>
#include <set>
#include <system_error>

#include "foundation/XmlAttribute.h"
#include "platform/StringHelpers.h"

using namespace foundation;

namespace drive {

namespace {

using platform::Lower;

std::vector<std::string> SplitIds(std::string_view text) {
    std::vector<std::string> ids;
    std::string current;
    for (char c : text) {
        if (c == ' ' || c == ',' || c == '\t') {
            if (!current.empty()) ids.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) ids.push_back(std::move(current));
    return ids;
}

// The component list stays in the element so that a saved user file keeps it; it is no attribute
// of the motor itself.
bool IsComponentList(std::string_view name) {
    return name == "Components" || name == "components";
}

void ResetDocument(CXmlDocument& doc) {
    doc.Root().Clear();
    doc.DocumentLevel().Clear();
}

void MakeEmptyMotors(CXmlDocument& doc) {
    ResetDocument(doc);
    doc.Root().SetName("Motors");
    doc.Root().SetAttribute("version", "1");
}

const std::array<std::string, 4> kDefaultRoles = {"t", "b", "m", "a"};

}  // namespace

CMotor::CMotor(CXmlNode* motor, const std::map<std::string, CXmlNode*>& componentMap, uint8_t userFlag)
    : user(userFlag), element(motor) {
    const CXmlAttribute* list = motor->FindAttribute("Components");
    if (!list) list = motor->FindAttribute("components");
    if (!list) return;
    for (const std::string& id : SplitIds(list->Value())) {
        auto it = componentMap.find(id);
        if (it != componentMap.end()) components.push_back(it->second);
    }
}

const CXmlAttribute* CMotor::GetAttribute(std::string_view name) const {
    if (IsComponentList(name)) return nullptr;
    if (const CXmlAttribute* own = element->FindAttribute(name)) return own;
    for (const CXmlNode* component : components) {
        if (const CXmlAttribute* found = component->FindAttribute(name)) return found;
    }
    return nullptr;
}

void CMotor::GetAllAttributes(std::vector<const CXmlAttribute*>& attributes) const {
    attributes.clear();
    for (const CXmlAttribute* a : element->Attributes()) {
        if (!IsComponentList(a->Name())) attributes.push_back(a);
    }
    for (const CXmlNode* component : components) {
        for (const CXmlAttribute* a : component->Attributes()) {
            if (a->Name() != "id") attributes.push_back(a);
        }
    }
}

CMotorDatabase::CMotorDatabase() : roles_(kDefaultRoles) {}

CMotorDatabase::~CMotorDatabase() {
    ClearMotorDatabase();
}

void CMotorDatabase::ClearMotorDatabase() {
    motors_.clear();
    attrByName_.clear();
    attrByDevice_.clear();
    formats_.clear();
    roles_ = kDefaultRoles;
    familyAttributes_ = nullptr;
}

CMotor* CMotorDatabase::FindMotor(std::string_view id) const {
    auto it = motors_.find(Lower(id));
    return it == motors_.end() ? nullptr : it->second.get();
}

CXmlNode* CMotorDatabase::View() const {
    return database_.Root().FindNode("View");
}

void CMotorDatabase::ReadMotorAttributes(CXmlNode* element) {
    if (!element) return;
    for (CXmlNode* attr : element->Children()) {
        if (attr->Name() != "Attr") continue;
        std::string device = attr->GetAttribute("device");
        if (!device.empty()) attrByDevice_[device] = attr;
        std::string name = attr->GetAttribute("name");
        if (name.empty()) continue;
        attrByName_[name] = attr;
        std::string key = attr->GetAttribute("key");
        for (size_t i = 0; i < kDefaultRoles.size(); ++i) {
            if (key == kDefaultRoles[i]) roles_[i] = name;
        }
    }
}

std::string CMotorDatabase::LoadMotorDatabase(const std::filesystem::path& databaseFolder,
                                              const std::filesystem::path& userFolder,
                                              const MotorDriveInfo& drive) {
    if (!motors_.empty()) return {};
    ClearMotorDatabase();
    ResetDocument(database_);
    ResetDocument(user_);
    version_ = 0;

    // The maker's shared components; user motors name them too.
    std::map<std::string, CXmlNode*> components;
    // Without a configuration source there is no maker database (never a file of the working folder).
    if (!databaseFolder.empty() && database_.Load(databaseFolder / kDatabaseFile) == S_OK) {
        CXmlNode& root = database_.Root();
        if (root.Name() != "Motors") {
            ResetDocument(database_);
            return "Motors: read file error or not a database motor file";
        }
        version_ = root.GetAttributeInt("version", 0);
        if (version_ > 1) {
            ResetDocument(database_);
            return "motor file version greater than Tunova interpreter version. Please install a newer "
                   "version of Tunova";
        }
        CXmlNode* family = nullptr;
        if (CXmlNode* map = root.FindNode("Map")) {
            for (CXmlNode* child : map->Children()) {
                if (child->FindAttribute("family") &&
                    child->GetAttributeInt("family", 0) == drive.familyCode) {
                    family = child;
                    break;
                }
            }
        }
        std::set<std::string> groups;
        if (family) {
            for (std::string& id : SplitIds(family->GetAttribute("groups"))) groups.insert(std::move(id));
            familyAttributes_ = family->FindNode("Attributes");
            if (familyAttributes_) {
                ReadMotorAttributes(familyAttributes_);
                for (CXmlNode* c : familyAttributes_->Children()) {
                    if (c->Name() == "Component") ReadMotorAttributes(c);
                }
            }
            if (CXmlNode* formats = family->FindNode("Formats")) {
                for (CXmlNode* f : formats->Children()) {
                    if (f->Name() != "Format") continue;
                    std::string name = f->GetAttribute("name");
                    if (!name.empty()) formats_[name] = f;
                }
            }
        }
        if (CXmlNode* list = root.FindNode("Components")) {
            for (CXmlNode* c : list->Children()) {
                std::string id = c->GetAttribute("id");
                if (!id.empty()) components[id] = c;
            }
        }
        if (!groups.empty()) {
            for (CXmlNode* group : root.Children()) {
                if (group->Name() != "Group" || !groups.count(group->GetAttribute("id"))) continue;
                for (CXmlNode* motor : group->Children()) {
                    if (motor->Name() != "Motor") continue;
                    std::string id = motor->GetAttribute("id");
                    if (id.empty()) continue;
                    motors_[Lower(id)] = std::make_unique<CMotor>(motor, components, 0);
                }
            }
        }
    } else {
        ResetDocument(database_);
    }

    LoadUserMotors(userFolder);
    const std::string& groupId = drive.familyBasedSelection ? drive.familyName : drive.motorClass;
    for (CXmlNode* group : user_.Root().Children()) {
        if (group->Name() != "Group" || group->GetAttribute("id") != groupId) continue;
        for (CXmlNode* motor : group->Children()) {
            if (motor->Name() != "Motor") continue;
            std::string id = motor->GetAttribute("id");
            if (id.empty()) continue;
            auto entry = std::make_unique<CMotor>(motor, components, 1);
            if (drive.familyBasedSelection) {
                const std::string& typeName = RoleName(MotorRole::T);
                if (const CXmlAttribute* type = motor->FindAttribute(typeName)) {
                    if (type->Value().rfind("User:", 0) != 0) {
                        motor->SetAttribute(typeName, "User:" + type->Value());
                    }
                }
            }
            motors_[Lower(id)] = std::move(entry);
        }
        break;
    }
    return {};
}

void CMotorDatabase::LoadUserMotors(const std::filesystem::path& userFolder) {
    const std::filesystem::path path = userFolder / kUserFile;
    const bool loaded = user_.Load(path) == S_OK;
    if (loaded && user_.Root().Name() == "Motors") return;

    // A damaged or foreign file is kept aside rather than overwritten: it may hold the user's motors.
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        std::filesystem::path aside = path;
        aside += ".bad";
        std::filesystem::rename(path, aside, ec);
    }
    if (loaded) {
        MakeEmptyMotors(user_);
    } else {
        std::unique_ptr<CXmlDocument> converted = ConvertOldMotorsFile(userFolder / kOldUserFile);
        ResetDocument(user_);
        user_.Root().SetName(converted->Root().Name());
        user_.Root().Copy(&converted->Root());
    }
    SaveUserMotors(userFolder);
}

bool CMotorDatabase::SaveUserMotors(const std::filesystem::path& userFolder, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(userFolder, ec);
    const std::filesystem::path path = userFolder / kUserFile;
    if (user_.Save(path) != S_OK) {
        if (error) *error = "Cannot write the user motor file '" + path.string() + "'";
        return false;
    }
    return true;
}

int CMotorDatabase::SelectMotor(std::vector<std::string>& selection, bool familyBasedSelection,
                                IMotorSelectionDialogs& dialogs) const {
    if (familyBasedSelection) return dialogs.SelectByFamily(familyAttributes_, selection);
    return dialogs.SelectFromView(View(), selection);
}

std::string CMotorDatabase::GetEnumTitle(const std::string& format, int value) const {
    auto it = formats_.find(format);
    if (it != formats_.end()) {
        for (CXmlNode* item : it->second->Children()) {
            if (item->Name() == "Item" && item->FindAttribute("value") &&
                item->GetAttributeInt("value", 0) == value) {
                return item->GetAttribute("title");
            }
        }
    }
    return std::to_string(value);
}

CXmlNode* CMotorDatabase::FindFormat(const std::string& device) const {
    auto attr = attrByDevice_.find(device);
    if (attr == attrByDevice_.end()) return nullptr;
    auto format = formats_.find(attr->second->GetAttribute("format"));
    return format == formats_.end() ? nullptr : format->second;
}

std::unique_ptr<CXmlDocument> ConvertOldMotorsFile(const std::filesystem::path& path) {
    auto result = std::make_unique<CXmlDocument>();
    if (result->Load(path) != S_OK) {
        MakeEmptyMotors(*result);
        return result;
    }
    if (result->Root().Name() == "Motors") return result;
    if (result->Root().Name() != "MOTORS_DATA") {
        MakeEmptyMotors(*result);
        return result;
    }
    auto converted = std::make_unique<CXmlDocument>();
    MakeEmptyMotors(*converted);
    CXmlNode* stepper = nullptr;
    CXmlNode* brushless = nullptr;
    if (CXmlNode* motors = result->Root().FindNode("MOTORS")) {
        for (const CXmlNode* old : motors->Children()) {
            if (!old->Name().empty() && old->Name()[0] == '!') continue;  // comments, CDATA
            const bool isStepper = old->GetAttribute("Class", "stepper") == "stepper";
            CXmlNode*& group = isStepper ? stepper : brushless;
            if (!group) {
                group = converted->Root().AddChild("Group");
                group->SetAttribute("id", isStepper ? "stepper" : "brushless");
            }
            CXmlNode* motor = group->AddChild("Motor");
            for (const CXmlAttribute* a : old->Attributes()) {
                if (a->Name() == "Class") continue;
                motor->SetAttribute(a->Name() == "GUID" ? "id" : a->Name(), a->Value());
            }
        }
    }
    return converted;
}

void InitMotorAttributes(CXmlNode* motor) {
    if (!motor) return;
    motor->SetAttribute("b", "");
    motor->SetAttribute("m", "");
    motor->SetAttribute("ty", "1");
    motor->SetAttribute("il", "1");
    for (const char* key : {"f", "fp", "ts"}) motor->SetAttribute(key, "0");
    for (const char* key : {"p",  "ir", "im", "i",  "in", "r",  "tc", "tr", "tm", "sr", "sm", "v",
                            "pp", "a",  "fo", "fr", "fs", "fh", "ft", "to", "it", "bs", "bo", "bc"}) {
        motor->SetAttribute(key, "0");
    }
}

void ReadMotorAttributeMap(CXmlNode* element, std::map<std::string, CXmlNode*>& map) {
    if (!element) return;
    for (CXmlNode* child : element->Children()) {
        if (child->Name() != "Attr") continue;
        std::string name = child->GetAttribute("name");
        if (!name.empty()) map[name] = child;
    }
}

}  // namespace drive
