#include "drive/ComboChannelsTypes.h"

#include "foundation/XmlNode.h"
#include "platform/StringHelpers.h"

using namespace foundation;

namespace drive {

namespace {
struct AttributeNames {
    const char* title;
    const char* name;
    const char* altName;
    const char* polarity;
    const char* code;
    const char* numDec;
    const char* type;
};

void Read(ComboChannelsTypes& c, const CXmlNode& node, const AttributeNames& a) {
    c.title = node.GetAttribute(a.title, "");
    c.name = node.GetAttribute(a.name, "");
    if (c.name.empty()) c.name = node.GetAttribute(a.altName, "");
    c.unitKey = platform::Trim(node.GetAttribute("ua", ""));
    c.polarity = node.GetAttributeInt(a.polarity, 0);
    c.code = node.GetAttributeInt(a.code, 0);
    c.factor = node.GetAttributeDouble("DivMult", 1.0);
    // A divisor of 0 would give an infinite factor: it stays 0.
    if (node.GetAttribute("DivMultType", "M") == "D") c.factor = c.factor != 0.0 ? 1.0 / c.factor : 0.0;
    c.decimals = node.GetAttributeInt(a.numDec, 0);
    c.isFloat = node.GetAttribute(a.type, "") == "float";
}
}  // namespace

void ComboChannelsTypes::ReadXml(const CXmlNode& node) {
    Read(*this, node, {"Title", "Name", "name", "Polarity", "Code", "NumDec", "Type"});
}

void ComboChannelsTypes::ReadLowerXml(const CXmlNode& node) {
    Read(*this, node, {"title", "name", "Name", "polarity", "code", "numdec", "type"});
}

}  // namespace drive
