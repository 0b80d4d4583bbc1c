#include "drive/DriveDescription.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <system_error>

#include "drive/Parametri.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"
#include "platform/Prompt.h"
#include "platform/StringHelpers.h"

using namespace foundation;

namespace drive {

namespace {

const CXmlNode* FirstChild(const CXmlNode* node, const char* name) {
    if (!node) return nullptr;
    for (const CXmlNode* child : node->Children()) {
        if (child->Name() == name) return child;
    }
    return nullptr;
}

template <typename F>
void ForEachChild(const CXmlNode* node, const char* name, F f) {
    if (!node) return;
    for (const CXmlNode* child : node->Children()) {
        if (child->Name() == name) f(*child);
    }
}

// The first "LIST" of DRIVE_SETUP with the given "Name".
const CXmlNode* FindList(const CXmlNode* driveSetup, const std::string& name) {
    if (!driveSetup) return nullptr;
    for (const CXmlNode* child : driveSetup->Children()) {
        if (child->Name() == "LIST" && child->GetAttribute("Name") == name) return child;
    }
    return nullptr;
}

uint32_t IoModeNumber(const std::string& text) {
    if (text == "IN") return 0;
    if (text == "OUT") return 1;
    return 2;
}

}  // namespace

int32_t AutoDecimals(double factor) {
    // log10 of 0 is -inf, whose integer part has no int.
    if (!(factor > 0.0) || !std::isfinite(factor)) return 0;
    double d = std::log10(factor);
    if (!(d < 0.0)) return 0;
    double whole = 0.0;
    double rest = std::modf(-d, &whole);
    int32_t decimals = static_cast<int32_t>(whole);
    if (rest > 0.0001) ++decimals;
    return decimals;
}

int CDriveDescription::ReadDriveSetup(CXmlDocument* document, const std::filesystem::path& descriptionFile,
                                      CParametri& parameters, CDriveDescriptionHost& host) {
    return ReadDriveSetupFrom(document ? &document->Root() : nullptr, descriptionFile, parameters, host);
}

int CDriveDescription::ReadDriveSetupFrom(CXmlNode* rootNode, const std::filesystem::path& descriptionFile,
                                          CParametri& parameters, CDriveDescriptionHost& host) {
    if (!rootNode) return 2;
    const CXmlNode& root = *rootNode;
    const CXmlNode* driveSetup = FirstChild(&root, "DRIVE_SETUP");

    host.ReadUnitDefinitions(driveSetup);
    host.ReadSystemManager(root);
    ReadFirmwareStatus(root);
    ReadErrors(root);

    const CXmlNode* variables = FirstChild(&root, "VARIABLES");
    if (!variables) return 1;
    ReadVariables(*variables, parameters, host);

    const CXmlNode* io = FirstChild(&root, "IO_SETTINGS");
    if (!io) return 1;
    ReadIoSettings(*io, parameters);

    sensors.clear();
    loopTypes.clear();
    motorTemperatureSensors.clear();
    ReadLoopTypes(driveSetup);
    ReadSensorCodes(driveSetup);
    ReadMotorTemperatureSensors(driveSetup, host);
    ApplyDefaults(host);

    host.SetBuildElement(root.FindNode("Program\\Build"));

    if (descriptionFile != lastDescriptionFile) {
        lastDescriptionFile = descriptionFile;
        if (!temporaryCopy.empty()) {
            std::error_code ignored;
            std::filesystem::remove(temporaryCopy, ignored);
            temporaryCopy.clear();
        }
    }
    return 0;
}

void CDriveDescription::ReadFirmwareStatus(const CXmlNode& root) {
    ForEachChild(FirstChild(&root, "FW_STATUS"), "STATUS", [this](const CXmlNode& status) {
        firmwareStatus[status.GetAttributeInt("Value", 0)] = status.GetAttribute("Message");
    });
}

void CDriveDescription::ReadErrors(const CXmlNode& root) {
    errorTable.Clear();
    if (const CXmlNode* items = FirstChild(&root, "ItemErrors")) {
        ForEachChild(items, "Error", [this](const CXmlNode& error) {
            size_t index = errorTable.descriptions.size();
            errorTable.descriptions.push_back(error.GetAttribute("descr"));
            auto value = static_cast<uint32_t>(error.GetAttributeInt("value", 0));
            auto modbus = static_cast<uint32_t>(error.GetAttributeInt("modbusvalue", 0));
            if (value != 0) errorTable.itemErrors[value] = index;
            if (modbus != 0) errorTable.modbusErrors[modbus] = index;
        });
        return;
    }
    ForEachChild(root.FindNode("MODBUS\\ERRORS"), "ERROR", [this](const CXmlNode& error) {
        size_t index = errorTable.descriptions.size();
        errorTable.descriptions.push_back(error.GetAttribute("descr"));
        errorTable.modbusErrors[static_cast<uint32_t>(error.GetAttributeInt("value", 0))] = index;
    });
}

void CDriveDescription::ReadVariables(const CXmlNode& variables, CParametri& parameters,
                                      CDriveDescriptionHost& host) {
    // A second load must not find the titles of the first one and drop every variable.
    parameters.variables.clear();
    variableIndex.clear();
    std::map<std::string, size_t> byName;
    ForEachChild(&variables, "VARIABLE", [&](const CXmlNode& node) {
        std::string name = node.GetAttribute("Name");
        if (name.empty() || !host.IsVariableKnown(name)) return;
        std::string title = node.GetAttribute("Title", name);
        if (variableIndex.count(title) != 0) {
            if (host.DebugSwitch()) {
                char text[600];
                std::snprintf(text, sizeof text, "Duplicated VARIABLE name '%s'", title.c_str());
                platform::Prompts().MessageBox(text, "Configuration file", platform::MB_OK);
            }
            return;
        }
        auto variable = std::make_unique<Cvariables>();
        variable->name = name;
        variable->title = title;
        variable->unit = platform::Trim(node.GetAttribute("ua"), " \t\r\n");
        double divMult = node.GetAttributeDouble("DivMult", 1.0);
        // A zero or unreadable scale would make every shown value 0 or infinite.
        if (divMult == 0.0 || !std::isfinite(divMult)) divMult = 1.0;
        variable->factor = node.GetAttribute("DivMultType", "M") == "M" ? divMult : 1.0 / divMult;
        std::string numDec = node.GetAttribute("NumDec", "auto");
        if (numDec == "auto") {
            variable->decimals = AutoDecimals(variable->factor);
        } else {
            long decimals = std::strtol(numDec.c_str(), nullptr, 10);
            variable->decimals = static_cast<int32_t>(decimals < 0 ? 0 : (decimals > 15 ? 15 : decimals));
        }
        size_t index = parameters.variables.size();
        parameters.variables.push_back(std::move(variable));
        variableIndex[title] = index;
        byName[name] = index;
    });

    const CXmlNode* show = FirstChild(&variables, "SHOW");
    if (!show) return;
    size_t slot = 0;
    for (const CXmlNode* child : show->Children()) {
        if (slot >= 4) break;
        if (child->Name().empty() || child->Name()[0] == '!' || child->Name()[0] == '?') continue;
        auto found = byName.find(child->GetAttribute("Name"));
        shownVariables[slot++] =
            found == byName.end() ? std::string() : parameters.variables[found->second]->title;
    }
}

void CDriveDescription::ReadIoSettings(const CXmlNode& io, CParametri& parameters) {
    debounceTime = io.GetAttributeInt("DebounceTime", 0);
    parameters.ioLists.clear();
    ForEachChild(&io, "IO", [&](const CXmlNode& node) {
        auto list = std::make_unique<Cio_List>();
        list->vocabularyName = node.GetAttribute("VocabularyName");
        list->analog = node.GetAttribute("Type") == "Digital" ? 0 : 1;
        std::string modeText = node.GetAttribute("IoMode");
        list->mode = IoModeNumber(modeText);
        list->address = node.GetAttributeInt("Address", -1);
        list->position = node.GetAttributeInt("Pos", list->address);
        char label[300];
        std::snprintf(label, sizeof label, list->analog ? "Analog %s %d:" : "%s %d:", modeText.c_str(),
                      list->address);
        list->hardwareName = node.GetAttribute("HwName", label);
        list->genericCode =
            static_cast<uint32_t>(node.GetAttributeInt("GenericCode", list->mode == 1 ? 2 : 1));
        list->readOnly = node.GetAttributeBool("ReadOnly", false) ? 1 : 0;
        list->lowestHardwareIndex = node.GetAttributeInt("HwMin", -1);
        ForEachChild(&node, "ELEMENT", [&](const CXmlNode& e) {
            auto element = std::make_unique<Cio_ListElement>();
            element->functionCode = static_cast<uint32_t>(e.GetAttributeInt("Code", 0));
            element->mode = IoModeNumber(e.GetAttribute("Mode"));
            element->name = e.GetAttribute("Name");
            element->active = e.GetAttributeBool("Active", false) ? 1 : 0;
            element->debounceAllowed = e.GetAttributeBool("EnableDeBounce", false) ? 1 : 0;
            element->resistance = e.GetAttributeBool("Resistance", false) ? 1 : 0;
            element->correlatedName = e.GetAttribute("CorrelateName");
            element->correlatedAddress = e.GetAttributeInt("CorrelateAddress", -1);
            element->unit = e.GetAttribute("ua");
            double divMult = e.GetAttributeDouble("DivMult", 1.0);
            int32_t scaleMin = e.GetAttributeInt("ScaleMin", 1);
            int32_t scaleMax = e.GetAttributeInt("ScaleMax", 1000);
            std::string divMultType = e.GetAttribute("DivMultType", "M");
            element->reservedOutput = e.GetAttributeInt("ReservedOutput", 0) != 0 ? 1 : 0;
            element->exclusive = e.GetAttributeInt("Exclusive", 0) == 1 ? 1 : 0;
            element->lowestHardwareIndex = e.GetAttributeInt("HwMin", 0);
            element->statusText = e.GetAttribute("Status", "none");
            element->hardwareName = e.GetAttribute("HwName", list->hardwareName);
            element->deviceMin = e.GetAttributeInt("DeviceMin", scaleMin);
            element->deviceMax = e.GetAttributeInt("DeviceMax", scaleMax);
            element->displayMax = e.GetAttributeDouble("DisplayMax", divMult);
            element->displayMin = e.GetAttribute("DisplayMin", divMultType);
            list->elements.push_back(std::move(element));
        });
        parameters.ioLists.push_back(std::move(list));
    });
}

void CDriveDescription::ReadLoopTypes(const CXmlNode* driveSetup) {
    const CXmlNode* loopType = FirstChild(driveSetup, "LoopType");
    if (!loopType) return;
    loopTypeCaption = loopType->GetAttribute("title", "Loop type:");
    ForEachChild(loopType, "El", [this](const CXmlNode& el) {
        std::string title = el.GetAttribute("title");
        if (!title.empty()) loopTypes[el.GetAttributeInt("value", 0)] = title;
    });
}

void CDriveDescription::ReadSensorCodes(const CXmlNode* driveSetup) {
    ForEachChild(FindList(driveSetup, "SensorCode"), "ELEMENT", [this](const CXmlNode& e) {
        CSensorCode sensor;
        sensor.title = e.GetAttribute("Title", "Title missing");
        sensor.mask = e.GetAttributeInt("Mask", 0);
        sensor.value = e.GetAttributeInt("Value", 0);
        sensor.name = e.GetAttribute("Name", "Name missing");
        sensor.phasingType = static_cast<uint8_t>(e.GetAttributeInt("PhasingType", 0));
        ForEachChild(&e, "ITEM_C", [&sensor](const CXmlNode& item) {
            std::string name = item.GetAttribute("Name");
            if (!name.empty()) sensor.items[name] = item.GetAttribute("Value", "0");
        });
        sensors[sensor.value] = std::move(sensor);
    });
}

void CDriveDescription::ReadMotorTemperatureSensors(const CXmlNode* driveSetup, CDriveDescriptionHost& host) {
    ForEachChild(FindList(driveSetup, "MotorTemperatureSensorType"), "ELEMENT", [&](const CXmlNode& e) {
        auto value = static_cast<uint16_t>(e.GetAttributeInt("Value", 1));
        std::string title = e.GetAttribute("Title");
        if (title.empty()) title = "code " + std::to_string(value);
        if (motorTemperatureSensors.count(value) != 0) {
            if (!host.Silent()) {
                char text[200];
                std::snprintf(text, sizeof text,
                              "List 'MotorTemperatureSensorType': too many definitions "
                              "for Value '%u'",
                              static_cast<unsigned>(value));
                platform::Prompts().MessageBox(text, "Internal error",
                                               platform::MB_OK | platform::MB_ICONERROR);
            }
            return;
        }
        motorTemperatureSensors[value] = title;
    });
}

void CDriveDescription::ApplyDefaults(CDriveDescriptionHost& host) {
    if (motorTemperatureSensors.empty()) {
        motorTemperatureSensors[0] = "None";
        motorTemperatureSensors[1] = "KTY84";
    }
    if (loopTypes.size() < 2) {
        loopTypes[0] = "Servo mode";
        loopTypes[1] = "Micro step";
        if (host.FamilyCode() == 12) {
            loopTypes[2] = "Servo mode aux. sensor";
            loopTypes[3] = "Micro step aux. sensor";
        }
    }
}

int CDriveDescription::GetControlModes(const CXmlDocument* document, std::vector<CControlModeEntry>& modes) {
    modes.clear();
    if (!document) return 2;
    const CXmlNode* driveSetup = FirstChild(&document->Root(), "DRIVE_SETUP");
    const CXmlNode* controlMode = FirstChild(driveSetup, "CONTROL_MODE");
    if (!controlMode) return 1;
    ForEachChild(controlMode, "INPUT_REFERENCE", [&modes](const CXmlNode& input) {
        ForEachChild(&input, "OP_MODE", [&](const CXmlNode& op) {
            CControlModeEntry entry;
            entry.inputTitle = input.GetAttribute("Title");
            entry.inputName = input.GetAttribute("Name");
            entry.title = op.GetAttribute("Title");
            entry.type = op.GetAttribute("Type");
            entry.name = op.GetAttribute("Name");
            entry.value = static_cast<int8_t>(static_cast<uint8_t>(op.GetAttributeInt("Value", 0)));
            modes.push_back(std::move(entry));
        });
    });
    return 0;
}

int CDriveDescription::GetSetupList(const CXmlNode* root, const std::string& listName,
                                    std::vector<std::string>& titles, std::vector<std::string>& values,
                                    std::vector<std::string>* names, const char* attributeName,
                                    std::vector<std::string>* attributeValues, const char* listAttributeName,
                                    std::string* listAttributeText) {
    titles.clear();
    values.clear();
    if (names) names->clear();
    if (attributeValues) attributeValues->clear();
    if (listAttributeText) *listAttributeText = "nonexistent";
    if (!root) return 2;
    const CXmlNode* driveSetup = FirstChild(root, "DRIVE_SETUP");
    if (!driveSetup) return 1;
    if (!FirstChild(driveSetup, "LIST")) return 1;
    const CXmlNode* list = FindList(driveSetup, listName);
    if (!list) return 0;
    if (listAttributeText && listAttributeName) {
        if (list->FindAttribute(listAttributeName))
            *listAttributeText = list->GetAttribute(listAttributeName);
    }
    if (!FirstChild(list, "ELEMENT")) return 1;
    ForEachChild(list, "ELEMENT", [&](const CXmlNode& e) {
        titles.push_back(e.GetAttribute("Title"));
        values.push_back(e.GetAttribute("Value"));
        if (names) names->push_back(e.GetAttribute("Name"));
        if (attributeValues && attributeName)
            attributeValues->push_back(e.GetAttribute(attributeName, "0x0"));
    });
    return 0;
}

}  // namespace drive
