#include "drive/GraphTrace.h"

#include <charconv>
#include <cmath>

#include "foundation/XmlNode.h"

namespace drive {

namespace {

// The next comma-separated field of the text, from at on; false at the end.
bool NextField(const std::string& text, size_t& at, std::string& field) {
    if (at >= text.size()) return false;
    const size_t comma = text.find(',', at);
    const size_t end = comma == std::string::npos ? text.size() : comma;
    field = text.substr(at, end - at);
    at = comma == std::string::npos ? text.size() : comma + 1;
    return true;
}

bool ParseNumber(std::string text, double* out) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return false;
    text.erase(0, first);
    text.erase(text.find_last_not_of(" \t\r\n") + 1);
    const auto r = std::from_chars(text.data(), text.data() + text.size(), *out);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && std::isfinite(*out);
}

}  // namespace

size_t CGraphScale::ReadXml(const foundation::CXmlNode& node) {
    Clear();
    const int32_t count = node.GetAttributeInt("count", 0);
    const std::string& text = node.Value();
    size_t at = 0;
    std::string value, label;
    for (int32_t i = 0; i < count; ++i) {
        double number = 0.0;
        if (!NextField(text, at, value) || !NextField(text, at, label) || !ParseNumber(value, &number)) break;
        // Line breaks between pairs are layout, not part of the label.
        const size_t lead = label.find_first_not_of("\r\n\t");
        values.push_back(number);
        labels.push_back(lead == std::string::npos ? std::string() : label.substr(lead));
    }
    return values.size();
}

void CGraphScale::Clear() {
    values.clear();
    labels.clear();
}

}  // namespace drive
