#include "tools/drivesim/SimDescription.h"

#include <charconv>
#include <cstdio>

#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"

namespace drivesim {

namespace {

// One register per value of up to two bytes, two for up to four; longer values and domains
// occupy only their start address (the transfer protocols run there).
uint16_t RegisterSpan(uint32_t size) {
    return size >= 1 && size <= 2 ? 1 : size >= 3 && size <= 4 ? 2 : 1;
}

bool ParseBusAddress(const std::string& text, uint32_t& key) {
    const size_t point = text.find('.');
    if (point == std::string::npos) return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const int base = hex ? 16 : 10;
    const std::string indexText = hex ? text.substr(2, point - 2) : text.substr(0, point);
    const std::string subText = text.substr(point + 1);
    uint32_t index = 0, sub = 0;
    auto parse = [base](const std::string& part, uint32_t& out) {
        const char* end = part.data() + part.size();
        auto r = std::from_chars(part.data(), end, out, base);
        return !part.empty() && r.ec == std::errc() && r.ptr == end;
    };
    if (!parse(indexText, index) || !parse(subText, sub) || index > 0xFFFF || sub > 0xFF) return false;
    key = index << 8 | sub;
    return true;
}

std::string VersionText(int32_t major, int32_t minor, int32_t patch, uint32_t preState, uint32_t preNumber) {
    static const char* const kWords[] = {"", "alpha", "beta", "rc"};
    std::string text = std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
    if (preState >= 1 && preState <= 3) {
        text += std::string("-") + kWords[preState];
        if (preNumber > 0) text += std::to_string(preNumber);
    }
    return text;
}

void CollectItems(const CXmlNode& node, std::vector<const CXmlNode*>& out) {
    if (node.Name() == "ITEM") out.push_back(&node);
    for (const CXmlNode* child : node.Children()) CollectItems(*child, out);
}

}  // namespace

std::optional<int64_t> ParseSimNumber(std::string_view text) {
    if (text.empty()) return std::nullopt;
    bool negative = false;
    if (text[0] == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    uint64_t value = 0;
    const char* end = text.data() + text.size();
    auto r = std::from_chars(text.data(), end, value, base);
    if (text.empty() || r.ec != std::errc() || r.ptr != end || value > 0xFFFFFFFFull) return std::nullopt;
    return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

std::string SimIdentity::HardwareText() const {
    return "Hardware " + std::to_string(hardwareCode) + " v.1.0.0";
}

std::string SimIdentity::FirmwareText() const {
    return "Firmware " + std::to_string(firmwareCode) + " v." +
           VersionText(major, minor, patch, preState, preNumber);
}

bool SimDescription::Load(const std::filesystem::path& file, std::string* error) {
    CXmlDocument document;
    if (document.Load(file) != S_OK) {
        if (error) *error = "cannot read " + file.string();
        return false;
    }
    return Read(document.Root(), error);
}

bool SimDescription::LoadText(std::string_view text, std::string* error) {
    CXmlDocument document;
    if (document.LoadXml(text) != S_OK) {
        if (error) *error = "not an XML document";
        return false;
    }
    return Read(document.Root(), error);
}

bool SimDescription::Read(const CXmlNode& root, std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what;
        return false;
    };
    if (root.Name() != "DEVICE") return fail("the root element is not DEVICE");
    variables.clear();
    commands.clear();
    scopeChannels.clear();
    modes.clear();
    identity = SimIdentity{};

    const std::string hw = root.GetAttribute("hw", "0");
    const auto hardware = ParseSimNumber(hw.substr(0, hw.find(',')));
    if (!hardware || *hardware < 0) return fail("bad hardware code '" + hw + "'");
    identity.hardwareCode = static_cast<uint32_t>(*hardware);
    const CXmlNode* ident = nullptr;
    for (const CXmlNode* child : root.Children())
        if (child->Name() == "Identity") ident = child;
    if (!ident) return fail("no Identity element");
    if (const CXmlNode* product = ident->FindNode("Product"))
        identity.firmwareCode = product->GetAttributeInt("code", 0);
    if (const CXmlNode* version = ident->FindNode("Version")) {
        identity.major = version->GetAttributeInt("major", 0);
        identity.minor = version->GetAttributeInt("minor", 0);
        identity.patch = version->GetAttributeInt("patch", 0);
        identity.preState = static_cast<uint32_t>(version->GetAttributeInt("prestatus", 0));
        identity.preNumber = static_cast<uint32_t>(version->GetAttributeInt("prenumber", 0));
    }
    if (identity.firmwareCode < 1 || identity.firmwareCode > 32767)
        return fail("no product code in Identity");

    const CXmlNode* dictionary = root.FindNode("DICTIONARY");
    if (!dictionary) return fail("no DICTIONARY element");
    std::vector<const CXmlNode*> items;
    CollectItems(*dictionary, items);
    std::map<uint16_t, std::string> registers;
    std::map<uint32_t, std::string> busKeys;
    for (const CXmlNode* node : items) {
        SimVariable v;
        v.name = node->GetAttribute("name");
        if (v.name.empty()) return fail("an ITEM without name");
        if (Find(v.name)) return fail("variable '" + v.name + "' described twice");
        const auto size = ParseSimNumber(node->GetAttribute("size", "0"));
        if (!size || *size < 0 || *size > 0x10000) return fail("bad size of '" + v.name + "'");
        v.size = static_cast<uint32_t>(*size);
        v.isSigned = node->GetAttributeInt("signed", 0) != 0;
        v.readable = node->GetAttribute("read", "0") != "0";
        v.writable = node->GetAttribute("write", "0") != "0" || node->FindAttribute("Restore1") ||
                     node->FindAttribute("Restore2");
        v.setting = node->GetAttribute("class") == "setting";
        const std::string modbus = node->GetAttribute("modbusaddress");
        if (!modbus.empty()) {
            const auto address = ParseSimNumber(modbus);
            if (!address || *address < 0 || *address > 0xFFFF)
                return fail("bad Modbus address of '" + v.name + "'");
            v.modbusAddress = static_cast<uint16_t>(*address);
            for (uint16_t k = 0; k < RegisterSpan(v.size); ++k) {
                const uint16_t reg = static_cast<uint16_t>(*v.modbusAddress + k);
                auto [it, fresh] = registers.emplace(reg, v.name);
                if (!fresh)
                    return fail("'" + v.name + "' and '" + it->second + "' share register " +
                                std::to_string(reg));
            }
        }
        std::string bus = node->GetAttribute("fieldbusaddress");
        if (bus.empty()) bus = node->GetAttribute("canaddress");
        if (!bus.empty()) {
            uint32_t key = 0;
            if (!ParseBusAddress(bus, key)) return fail("bad fieldbus address of '" + v.name + "'");
            auto [it, fresh] = busKeys.emplace(key, v.name);
            if (!fresh) return fail("'" + v.name + "' and '" + it->second + "' share a fieldbus address");
            v.busKey = key;
        }
        variables.push_back(std::move(v));
    }

    const CXmlNode* data = root.FindNode("ClientList\\Client\\Data");
    if (!data) return fail("no ClientList\\Client\\Data element");
    if (const CXmlNode* list = data->FindNode("SystemManager\\Commands")) {
        bool anyWatchdog = false;
        for (const CXmlNode* cmd : list->Children()) {
            if (cmd->Name() != "Cmd") continue;
            anyWatchdog |= cmd->FindAttribute("watchdog") != nullptr;
            SimCommand c;
            c.name = cmd->GetAttribute("name");
            c.description = cmd->GetAttribute("descr");
            const auto value = ParseSimNumber(cmd->GetAttribute("value", "0"));
            const auto wait = ParseSimNumber(cmd->GetAttribute("waitstatus", "0"));
            if (c.name.empty() || !value || *value <= 0 || !wait || *wait < 0)
                return fail("bad system command '" + c.name + "'");
            if (FindCommand(c.name)) continue;  // the first of a name counts
            c.value = static_cast<uint32_t>(*value);
            c.waitStatus = static_cast<uint32_t>(*wait);
            c.watchdog = cmd->GetAttributeBool("watchdog", false);
            commands.push_back(std::move(c));
        }
        // Without any watchdog attribute the tuning range needs the refresh.
        if (!anyWatchdog)
            for (SimCommand& c : commands) c.watchdog = c.value >= 1000 && c.value <= 1099;
    }
    if (const CXmlNode* control = data->FindNode("DRIVE_SETUP\\CONTROL_MODE")) {
        for (const CXmlNode* input : control->Children())
            for (const CXmlNode* mode : input->Children())
                if (mode->Name() == "OP_MODE") {
                    const auto value = ParseSimNumber(mode->GetAttribute("Value", "0"));
                    if (!value) return fail("bad mode of operation " + mode->GetAttribute("Value"));
                    modes.push_back(static_cast<int8_t>(*value));
                }
    }
    if (const CXmlNode* channels = data->FindNode("Oscilloscope\\Channels")) {
        for (const CXmlNode* node : channels->Children()) {
            if (node->Name() != "Channel") continue;
            SimScopeChannel c;
            c.code = node->GetAttributeInt("code", 0);
            c.variable = node->GetAttribute("name");
            c.isFloat = node->GetAttribute("type") == "float";
            const SimVariable* v = Find(c.variable);
            if (!v || v->size < 1 || v->size > 4)
                return fail("oscilloscope channel " + std::to_string(c.code) + " names no value variable");
            scopeChannels.push_back(std::move(c));
        }
    }
    return true;
}

const SimVariable* SimDescription::Find(const std::string& name) const {
    for (const SimVariable& v : variables)
        if (v.name == name) return &v;
    return nullptr;
}

const SimCommand* SimDescription::FindCommand(const std::string& name) const {
    for (const SimCommand& c : commands)
        if (c.name == name) return &c;
    return nullptr;
}

const SimCommand* SimDescription::FindCommandValue(uint32_t value) const {
    for (const SimCommand& c : commands)
        if (c.value == value) return &c;
    return nullptr;
}

}  // namespace drivesim
