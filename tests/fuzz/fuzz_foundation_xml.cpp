// Feeds arbitrary bytes to the XML parser, the serialisers and the text decoders.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/TextCodec.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlText.h"

using namespace foundation;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CXmlDocument doc;
    doc.LoadXmlText(text);
    std::string compact, formatted;
    doc.GetXml(compact);
    doc.GetXmlFormatted(formatted);
    CXmlDocument again;
    again.LoadXmlText(formatted);
    for (CXmlNode* n = doc.Root().FindFirstChild(""); n; n = doc.Root().FindNextChild()) {
        n->FindNode("a\\b");
        n->GetAttributeInt("a", 0);
        n->GetAttributeDouble("a", 0.0);
        if (n->Children().empty()) n->Remove();
    }

    std::string unescaped(text);
    UnescapeXmlText(unescaped);
    EscapeXmlText(text, true);

    std::string decoded;
    textcodec::FileUtf8ToText(text, decoded, 0, nullptr, nullptr);
    textcodec::FileUtf8ToText(text, decoded, 1252, "?", nullptr);
    std::u16string units(size / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    textcodec::Utf16ToText(units, decoded, 0, nullptr, nullptr);
    return 0;
}
