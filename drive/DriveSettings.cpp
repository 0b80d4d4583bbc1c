#include "drive/DriveSettings.h"

#include <charconv>

#include "foundation/XmlNode.h"

using namespace foundation;

namespace drive {

namespace {

// Six decimal bytes joined by points; anything else gives all zeros.
std::array<uint8_t, 6> ParseAmsNetId(const std::string& text) {
    std::array<uint8_t, 6> id{};
    const char* p = text.data();
    const char* end = p + text.size();
    for (size_t i = 0; i < id.size(); ++i) {
        unsigned value = 0;
        auto [next, ec] = std::from_chars(p, end, value);
        if (ec != std::errc() || value > 255) return {};
        id[i] = static_cast<uint8_t>(value);
        p = next;
        if (i + 1 < id.size()) {
            if (p == end || *p != '.') return {};
            ++p;
        }
    }
    if (p != end) return {};
    return id;
}

}  // namespace

void CConnectionSettings::SetDefaults() {
    Hw = 0;
    ParamFileName.clear();
    UserParamFileName = false;
    ChannelName = "COM1";
    PcBaudRate = 57600;
    PcTimeOut = 1000;
    FromNode = 1;
    ToNode = 1;
    MaxNodesToSearch = 1;
    NotifyWrongXml = true;
}

void CConnectionSettings::LoadSettings(const CXmlNode& n) {
    DriveDescription = n.GetAttribute("DriveDescription");
    Hw = n.GetAttributeInt("Hw", 0);
    Sw = n.GetAttributeInt("Sw", 0);
    SwVer = n.GetAttributeInt("SwVer", 0);
    Beta = n.GetAttributeInt("Beta", 0);
    pver.ParseCompactText(n.GetAttribute("pver"));
    ParamFileName = n.GetAttribute("ParamFileName");
    UserParamFileName = n.GetAttributeBool("UserParamFileName", false);
    ChannelName = n.GetAttribute("ChannelName", "COM1");
    PcBaudRate = n.GetAttributeInt("PcBaudRate", 57600);
    PcTimeOut = static_cast<int16_t>(n.GetAttributeInt("PcTimeOut", 1000));
    FromNode = static_cast<uint8_t>(n.GetAttributeInt("FromNode", 1));
    ToNode = static_cast<uint8_t>(n.GetAttributeInt("ToNode", 1));
    MaxNodesToSearch = static_cast<uint8_t>(n.GetAttributeInt("MaxNodesToSearch", 1));
    NotifyWrongXml = (n.GetAttributeInt("NotifyWrongXml", 1) & 1) != 0;
    BridgeIPAddress = static_cast<uint32_t>(n.GetAttributeInt("BridgeIPAddress", 0));
    BridgeSubnet = static_cast<int16_t>(n.GetAttributeInt("BridgeSubnet", 2));
    BridgeSubnetId = static_cast<int16_t>(n.GetAttributeInt("BridgeSubnetId", 0));
    BridgeNodeId = static_cast<int16_t>(n.GetAttributeInt("BridgeNodeId", 1));
    BcIPAddress = static_cast<uint32_t>(n.GetAttributeInt("BcIPAddress", 0));
    BcSubnet = static_cast<uint8_t>(n.GetAttributeInt("BcSubnet", 2));
    BcSubnetId = static_cast<uint8_t>(n.GetAttributeInt("BcSubnetId", 1));
    BcNodeId = static_cast<int16_t>(n.GetAttributeInt("BcNodeId", 1001));
    BcTimeout = n.GetAttributeInt("BcTimeout", 2000);
    EthAmsNetId = ParseAmsNetId(n.GetAttribute("EthAmsNetId", "0.0.0.0.0.0"));
}

void CConnectionSettings::SaveSettings(CXmlNode& n) const {
    n.SetAttribute("DriveDescription", DriveDescription);
    n.SetAttributeInt("Hw", Hw);
    n.SetAttributeInt("Sw", Sw);
    n.SetAttributeInt("SwVer", SwVer);
    n.SetAttributeInt("Beta", Beta);
    n.SetAttribute("pver", pver.GetCompactText());
    n.SetAttribute("ParamFileName", ParamFileName);
    n.SetAttribute("UserParamFileName", UserParamFileName ? "True" : "False");
    n.SetAttribute("ChannelName", ChannelName);
    n.SetAttributeInt("PcBaudRate", PcBaudRate);
    n.SetAttributeInt("PcTimeOut", PcTimeOut);
    n.SetAttributeInt("FromNode", FromNode);
    n.SetAttributeInt("ToNode", ToNode);
    // Searches cover one node per session: the file never asks for more.
    n.SetAttributeInt("MaxNodesToSearch", 1);
    n.SetAttribute("NotifyWrongXml", NotifyWrongXml ? "1" : "0");
    // Addresses go out as signed 32-bit numbers so that the reader's conversion takes them back.
    n.SetAttributeInt("BridgeIPAddress", static_cast<int32_t>(BridgeIPAddress));
    n.SetAttributeInt("BridgeSubnet", BridgeSubnet);
    n.SetAttributeInt("BridgeSubnetId", BridgeSubnetId);
    n.SetAttributeInt("BridgeNodeId", BridgeNodeId);
    n.SetAttributeInt("BcIPAddress", static_cast<int32_t>(BcIPAddress));
    n.SetAttributeInt("BcSubnet", BcSubnet);
    n.SetAttributeInt("BcSubnetId", BcSubnetId);
    n.SetAttributeInt("BcNodeId", BcNodeId);
    n.SetAttributeInt("BcTimeout", BcTimeout);
    std::string ams;
    for (size_t i = 0; i < EthAmsNetId.size(); ++i) {
        if (i) ams += '.';
        ams += std::to_string(EthAmsNetId[i]);
    }
    n.SetAttribute("EthAmsNetId", ams);
}

}  // namespace drive
