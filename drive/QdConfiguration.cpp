// The drive configuration of the connected node: identity words, device group and flags, bus
// type, and the program's client section cut down by the drive's named conditions.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "drive/Qd.h"
#include "drive/VersionRequirements.h"
#include "engine/Main.h"
#include "foundation/BrandList.h"
#include "foundation/ProgramFolders.h"
#include "foundation/XmlAttribute.h"
#include "platform/Prompt.h"

namespace drive {

using namespace foundation;

namespace {

constexpr const char* kCorrupted = "Configuration file corrupted: ";
constexpr const char* kClientName = "Orvalis";

std::vector<int32_t> ParseList(const std::string& text) {
    std::vector<int32_t> values;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string piece = text.substr(start, comma - start);
        if (piece.find_first_not_of(" \t") != std::string::npos)
            values.push_back(ParseConditionNumber(piece));
        start = comma + 1;
    }
    return values;
}

int BusTypeCode(const CXmlNode* bus) {
    if (!bus) return 1;
    const std::string type = bus->GetAttribute("Type");
    if (type == "CAN") return bus->GetAttributeInt("format", 0) != 0 ? 3 : 2;
    if (type == "MB485") return 4;
    if (type == "PROFIBUS") return 5;
    if (type == "ETHERCAT") return 6;
    if (type == "PROFINET") return 7;
    if (type == "NONE") return 10;
    return 8;
}

const CXmlNode* FindClient(const CXmlNode& root) {
    const CXmlNode* list = root.FindNode("ClientList");
    if (!list) return nullptr;
    const CXmlNode* first = nullptr;
    for (const CXmlNode* child : list->Children()) {
        if (child->Name() != "Client") continue;
        if (child->GetAttribute("name") == kClientName) return child;
        if (!first) first = child;
    }
    return first;
}

}  // namespace

int32_t ParseConditionNumber(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value != 0) return static_cast<int32_t>(static_cast<uint32_t>(value));
    const size_t at = text.find_first_not_of(" \t");
    if (at != std::string::npos && text.compare(at, 2, "0x") == 0)
        return static_cast<int32_t>(static_cast<uint32_t>(std::strtoull(text.c_str() + at + 2, nullptr, 16)));
    return 0;
}

const CXmlNode* CQd::DriveData() const {
    return configuration_.Root().FindNode("Data");
}

void CQd::CollectConditionCells(const CXmlNode& node) {
    if (node.Name() == "Cell") {
        conditionCells_.emplace(node.GetAttribute("name"), 0);
    } else if (node.Name() == "And" || node.Name() == "Or") {
        for (const CXmlNode* child : node.Children()) CollectConditionCells(*child);
    }
}

bool CQd::EvaluateCondition(const CXmlNode& node) const {
    const std::string& kind = node.Name();
    if (kind == "Cell") {
        const auto cell = conditionCells_.find(node.GetAttribute("name"));
        if (cell == conditionCells_.end()) return false;
        int32_t value = cell->second;
        if (const CXmlAttribute* mask = node.FindAttribute("mask"))
            value &= ParseConditionNumber(mask->Value());
        if (const CXmlAttribute* list = node.FindAttribute("value")) {
            for (int32_t v : ParseList(list->Value()))
                if (v == value) return true;
            return false;
        }
        if (const CXmlAttribute* list = node.FindAttribute("not")) {
            for (int32_t v : ParseList(list->Value()))
                if (v == value) return false;
            return true;
        }
        if (const CXmlAttribute* gt = node.FindAttribute("gt"))
            return value > ParseConditionNumber(gt->Value());
        if (const CXmlAttribute* lt = node.FindAttribute("lt"))
            return value < ParseConditionNumber(lt->Value());
        return false;
    }
    if (kind == "And") {
        for (const CXmlNode* child : node.Children())
            if (!EvaluateCondition(*child)) return false;
        return true;
    }
    if (kind == "Or") {
        for (const CXmlNode* child : node.Children())
            if (EvaluateCondition(*child)) return true;
        return false;
    }
    if (kind == "Not") {
        const auto children = node.Children();
        return children.empty() || !EvaluateCondition(*children.front());
    }
    if (kind == "Cond") {
        const auto result = conditionResults_.find(node.GetAttribute("name"));
        return result != conditionResults_.end() && result->second != 0;
    }
    return false;
}

void CQd::EvaluateConditions(const CXmlNode& conditions) {
    conditionResults_.clear();
    for (const CXmlNode* cond : conditions.Children()) {
        if (cond->Name() != "Cond" || !cond->FindAttribute("name")) continue;
        bool holds = true;
        for (const CXmlNode* child : cond->Children())
            if (!EvaluateCondition(*child)) {
                holds = false;
                break;
            }
        conditionResults_[cond->GetAttribute("name")] = holds ? 1 : 0;
    }
}

bool CQd::CopyIfCondition(const CXmlNode& source, CXmlNode& destination) const {
    if (const CXmlAttribute* cond = source.FindAttribute("_cond")) {
        const auto result = conditionResults_.find(cond->Value());
        if (result == conditionResults_.end() || result->second == 0) return false;
    }
    destination.SetName(source.Name());
    destination.SetValue(source.Value());
    for (const CXmlAttribute* attribute : source.Attributes())
        if (attribute->Name() != "_cond") destination.SetAttribute(attribute->Name(), attribute->Value());
    for (const CXmlNode* child : source.Children()) {
        CXmlNode* copy = destination.AddChild(child->Name());
        if (!CopyIfCondition(*child, *copy)) copy->Remove();
    }
    return true;
}

// Reads every condition cell in one pass of the engine's own group.
void CQd::ReadConditionCells() {
    std::vector<std::pair<std::string, uint32_t>> values;
    values.reserve(conditionCells_.size());
    for (const auto& cell : conditionCells_) values.emplace_back(cell.first, 0);
    ClearEngineGroup();
    for (auto& value : values) AddReadToEngineGroup(value.first, &value.second, 4);
    ExecuteEngineGroup();
    for (const auto& value : values) conditionCells_[value.first] = static_cast<int32_t>(value.second);
}

int CQd::LoadConfiguration(CXmlDocument& answer) {
    Mine().text.clear();
    const CXmlNode& root = answer.Root();
    state_.sw = static_cast<uint32_t>(root.GetAttributeInt("sw", 0));
    state_.hw = static_cast<uint32_t>(root.GetAttributeInt("hw", 0));
    state_.swVer = static_cast<uint32_t>(root.GetAttributeInt("sw_ver", 0));
    state_.bootOnly = root.GetAttributeInt("boot", 2) == 1;
    const CXmlNode* description = root.FindNode("Description");
    state_.description = description ? description->Value() : std::string();

    auto corrupted = [this](const char* what, bool show) {
        Mine().text = std::string(kCorrupted) + what;
        if (show)
            platform::Prompts().MessageBox(Mine().text, kProgramName,
                                           platform::MB_OK | platform::MB_ICONERROR);
    };
    const CXmlNode* client = FindClient(root);
    if (!client) {
        corrupted("missing 'Client' node", true);
        return 1;
    }

    configuration_.Root().Clear();
    conditionCells_.clear();
    conditionResults_.clear();
    if (const CXmlNode* conditions = client->FindNode("Conditions")) {
        for (const CXmlNode* cond : conditions->Children())
            if (cond->Name() == "Cond")
                for (const CXmlNode* child : cond->Children()) CollectConditionCells(*child);
        if (!conditionCells_.empty()) ReadConditionCells();
        EvaluateConditions(*conditions);
        // Held in memory only: the pages read the description from here.
        CopyIfCondition(*client, configuration_.Root());
    } else {
        configuration_.Root().Copy(client);
        configuration_.Root().SetName(client->Name());
    }

    std::string advice;
    if (!IsOffline()) {
        const bool met = CheckClientRequirements(*client, advice);
        if (!met) {
            int answerButton = platform::IDCANCEL;
            if (!silent_) {
                const std::string text =
                    advice +
                    "\nIt is highly recommended to update Pelmora before performing any operations on the "
                    "device!\nAlternatively you can change the firmware version.\n\nProceed anyway?";
                answerButton = platform::Prompts().MessageBox(
                    text, std::string(kProgramName) + " incompatibility",
                    platform::MB_YESNOCANCEL | platform::MB_ICONERROR | platform::MB_DEFBUTTON2);
            }
            if (answerButton != platform::IDYES) return 3;
            advice.clear();
        }
    }

    const CXmlNode* data = DriveData();
    if (!data) {
        corrupted("missing 'Data' node", true);
        return 2;
    }

    const CXmlNode* type = data->FindNode("Type");
    if (type && type->Value() == "boot") state_.bootOnly = true;
    state_.className = type ? type->GetAttribute("Class", "stepper") : std::string("stepper");
    const int32_t group = type ? type->GetAttributeInt("group", 0) : 0;
    state_.group = group;
    if (group == 0) {
        corrupted("missing group type attribute", !silent_);
        return 6;
    }
    state_.group4 = group == 4;
    state_.group5 = group == 5;
    state_.newNaming = group == 11 || group == 12;
    state_.group236 = group == 2 || group == 3 || group == 6;
    state_.group17812 = group == 1 || group == 7 || group == 8 || group == 11 || group == 12;

    static const std::set<int32_t> kStandAloneGroups = {3, 6, 7, 11, 12};
    state_.standAlone = kStandAloneGroups.count(group) != 0;
    if (const CXmlNode* standAlone = data->FindNode("StandAlone"))
        state_.standAlone = standAlone->GetAttributeInt("Type", 0) == 1;
    const CXmlNode* io = data->FindNode("Digital_IO");
    state_.digitalIoFunctions = io && io->GetAttributeBool("Functions", false);
    const CXmlNode* inertia = data->FindNode("Inertia");
    state_.relativeInertia = inertia && inertia->GetAttributeBool("Relative", false);
    const CXmlNode* analog = data->FindNode("AnalogInput");
    state_.analogInputType = analog ? analog->GetAttributeInt("Type", 0) : 0;
    state_.busType = BusTypeCode(data->FindNode("BUS"));

    if (const CXmlNode* archive = data->FindNode("Archive"); archive && archiveLoader_)
        archiveLoader_(*archive);

    state_.stateTexts.clear();
    state_.controlModeTexts.clear();
    state_.statusWordCell = "statusword";
    if (group == 10) {
        state_.controlModeCell = "ControlMode";
        auto readEnum = [](const CXmlNode* list, std::string& cell, std::map<int32_t, std::string>& map) {
            if (!list) return;
            if (const CXmlAttribute* name = list->FindAttribute("name")) cell = name->Value();
            for (const CXmlNode* el : list->Children())
                if (el->Name() == "El") map[el->GetAttributeInt("Value", 0)] = el->GetAttribute("Text");
        };
        readEnum(data->FindNode("Extra\\Enums\\States"), state_.statusWordCell, state_.stateTexts);
        readEnum(data->FindNode("Extra\\Enums\\ControlModes"), state_.controlModeCell,
                 state_.controlModeTexts);
    }
    if (!advice.empty() && !silent_)
        platform::Prompts().MessageBox(advice, std::string(kProgramName) + " not updated",
                                       platform::MB_OK | platform::MB_ICONWARNING);

    static const char* const kDefaults[4] = {"DriveDynamicWarning", "DriveWarning", "DriveDynamicAlarm",
                                             "DriveAlarm"};
    for (int i = 0; i < 4; ++i) state_.errorWordCells[i] = kDefaults[i];
    if (const CXmlNode* errors = data->FindNode("ERRORLIST")) {
        static const char* const kGroups[4] = {"WDynamicErrors", "WRetentiveErrors", "FDynamicErrors",
                                               "FRetentiveErrors"};
        for (const CXmlNode* outer : errors->Children()) {
            if (outer->Name() != "GROUP") continue;
            const std::string outerName = outer->GetAttribute("name");
            if (outerName != "WarningErrors" && outerName != "FaultErrors") continue;
            for (const CXmlNode* inner : outer->Children()) {
                if (inner->Name() != "GROUP") continue;
                for (int i = 0; i < 4; ++i) {
                    if (inner->GetAttribute("name") != kGroups[i]) continue;
                    for (const CXmlNode* error : inner->Children())
                        if (error->Name() == "ERROR") {
                            state_.errorWordCells[i] = error->GetAttribute("address");
                            break;
                        }
                }
            }
        }
    }
    // Variables and I/O lists: a description without them still connects.
    ReadDriveSetup();
    return 0;
}

bool CQd::ReadConditions(const std::vector<std::pair<std::string, int32_t>>& cells) {
    const CXmlNode* conditions = configuration_.Root().FindNode("Conditions");
    if (!conditions) return false;
    bool changed = false;
    for (const auto& [name, value] : cells) {
        const auto cell = conditionCells_.find(name);
        if (cell == conditionCells_.end() || cell->second == value) continue;
        cell->second = value;
        changed = true;
    }
    if (!changed) return false;
    const std::map<std::string, int32_t> before = conditionResults_;
    EvaluateConditions(*conditions);
    return before != conditionResults_;
}

// ---- compatible descriptions -------------------------------------------------------------------

namespace {

const CXmlNode* FindCompatibilityBlock(const CXmlNode& node) {
    if (node.Name() == "COMPATIBILITY") return &node;
    for (const CXmlNode* child : node.Children())
        if (const CXmlNode* found = FindCompatibilityBlock(*child)) return found;
    return nullptr;
}

std::filesystem::path EntryFile(const CXmlNode& entry) {
    return VocabularyEntryFile(entry);
}

bool Matches(const CXmlNode& entry, uint32_t hardware, uint32_t software) {
    return static_cast<uint32_t>(entry.GetAttributeInt("hw", -1)) == hardware &&
           static_cast<uint32_t>(entry.GetAttributeInt("sw", -1)) == software &&
           entry.GetAttributeInt("build", 0) == 0;
}

// Loads the entry's file and asks the test; the document keeps the block for the caller.
bool Accepts(const CXmlNode& entry, const CQd::CompatibilityTest& accepts, CXmlDocument& file) {
    if (file.Load(EntryFile(entry).string()) != S_OK) return false;
    return !accepts || accepts(FindCompatibilityBlock(file.Root()));
}

}  // namespace

bool CQd::FindCompatibleDescriptions(uint32_t hardware, uint32_t software, uint32_t,
                                     const CompatibilityTest& accepts, CXmlNode& out) {
    CXmlDocument list;
    if (wnd_.GetVocabularyList(list) <= 0) return false;
    bool any = false;
    for (const CXmlNode* entry : list.Root().Children()) {
        if (!Matches(*entry, hardware, software)) continue;
        CXmlDocument file;
        if (!Accepts(*entry, accepts, file)) continue;
        out.AddChild(entry->Name())->Copy(entry);
        any = true;
    }
    return any;
}

bool CQd::FindConfigurationFile(uint32_t hardware, uint32_t software, uint32_t,
                                const CompatibilityTest& accepts, CXmlDocument& compatibility,
                                std::string& path) {
    CXmlDocument list;
    if (wnd_.GetVocabularyList(list) <= 0) return false;
    std::vector<const CXmlNode*> order;
    for (const CXmlNode* entry : list.Root().Children()) {
        if (!Matches(*entry, hardware, software)) continue;
        // Before the first one whose version is lower or equal: the later of equals comes first.
        const int32_t version = entry->GetAttributeInt("sw_ver", 0);
        auto at = order.begin();
        while (at != order.end() && (*at)->GetAttributeInt("sw_ver", 0) > version) ++at;
        order.insert(at, entry);
    }
    for (const CXmlNode* entry : order) {
        CXmlDocument file;
        if (!Accepts(*entry, accepts, file)) continue;
        path = EntryFile(*entry).string();
        const CXmlNode* block = FindCompatibilityBlock(file.Root());
        compatibility.Root().Copy(block);
        return true;
    }
    return false;
}

}  // namespace drive
