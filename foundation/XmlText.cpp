#include "foundation/XmlText.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "foundation/TextFile.h"

namespace foundation {

namespace {

struct Entity {
    std::string_view reference;
    std::string_view text;  // UTF-8
};

// Each entity's character in UTF-8 (the accented ones are those of Windows-1252).
constexpr Entity kEntities[] = {
    {"&lt;", "<"},
    {"&#60;", "<"},
    {"&#x3C;", "<"},
    {"&gt;", ">"},
    {"&#62;", ">"},
    {"&#x3E;", ">"},
    {"&quot;", "\""},
    {"&#34;", "\""},
    {"&#x22;", "\""},
    {"&amp;", "&"},
    {"&#38;", "&"},
    {"&#x26;", "&"},
    {"&apos;", "'"},
    {"&#39;", "'"},
    {"&nbsp;", " "},
    {"&#160;", " "},
    {"&#xA0;", " "},
    {"&egrave;", "\xC3\xA8"},
    {"&#232;", "\xC3\xA8"},
    {"&#xE8;", "\xC3\xA8"},
    {"&agrave;", "\xC3\xA0"},
    {"&#224;", "\xC3\xA0"},
    {"&#xE0;", "\xC3\xA0"},
    {"&ograve;", "\xC3\xB2"},
    {"&#242;", "\xC3\xB2"},
    {"&#xF2;", "\xC3\xB2"},
    {"&ugrave;", "\xC3\xB9"},
    {"&#249;", "\xC3\xB9"},
    {"&#xF9;", "\xC3\xB9"},
    {"&igrave;", "\xC3\xAC"},
    {"&#236;", "\xC3\xAC"},
    {"&#xEC;", "\xC3\xAC"},
    {"&eacute;", "\xC3\xA9"},
    {"&#233;", "\xC3\xA9"},
    {"&#xE9;", "\xC3\xA9"},
    {"&ccedil;", "\xC3\xA7"},
    {"&#231;", "\xC3\xA7"},
    {"&#xE7;", "\xC3\xA7"},
    {"&deg;", "\xC2\xB0"},
    {"&#176;", "\xC2\xB0"},
    {"&#xB0;", "\xC2\xB0"},
    {"&sect;", "\xC2\xA7"},
    {"&#167;", "\xC2\xA7"},
    {"&#xA7;", "\xC2\xA7"},
    {"&euro;", "\xE2\x82\xAC"},
    {"&#8364;", "\xE2\x82\xAC"},
    {"&#x20AC;", "\xE2\x82\xAC"},
    {"&pound;", "\xC2\xA3"},
    {"&#163;", "\xC2\xA3"},
    {"&#xA3;", "\xC2\xA3"},
    {"&sup2;", "\xC2\xB2"},
    {"&#178;", "\xC2\xB2"},
    {"&#xB2;", "\xC2\xB2"},
    {"&micro;", "\xC2\xB5"},
    {"&#181;", "\xC2\xB5"},
    {"&#xB5;", "\xC2\xB5"},
};
constexpr size_t kLongestReference = 8;
static_assert(kLongestReference <= sizeof(uint64_t));

// Whether text[at] ("&") starts a character reference that every XML reader takes: "&#" and
// decimal digits, or "&#x" and hexadecimal digits, then ";", naming a character XML allows.
bool IsCharacterReference(std::string_view text, size_t at) {
    size_t i = at + 2;
    if (i > text.size() || text[at + 1] != '#') return false;
    const bool hex = i < text.size() && text[i] == 'x';
    if (hex) ++i;
    uint32_t code = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] != ';'; ++i, ++digits) {
        const char c = text[i];
        uint32_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint32_t>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = static_cast<uint32_t>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = static_cast<uint32_t>(c - 'A' + 10);
        } else {
            return false;
        }
        code = code * (hex ? 16 : 10) + digit;
        if (code > 0x10FFFF) return false;
    }
    if (i == text.size() || digits == 0) return false;
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || code >= 0x10000;
}

// Escape form of the character starting at text[i] (UTF-8), or null; *length = bytes it covers.
const char* EscapeOf(std::string_view text, size_t i, bool escapeQuotes, size_t* length) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    *length = 1;
    switch (c) {
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '&':
            return IsCharacterReference(text, i) ? nullptr : "&amp;";
        case '"':
            return escapeQuotes ? "&quot;" : nullptr;
        case 0xC2:
            if (i + 1 >= text.size()) return nullptr;
            *length = 2;
            switch (static_cast<unsigned char>(text[i + 1])) {
                case 0xA3:
                    return "&#163;";
                case 0xA7:
                    return "&#167;";
                case 0xB0:
                    return "&#176;";
                case 0xB2:
                    return "&#178;";
                case 0xB5:
                    return "&#181;";
                default:
                    return nullptr;
            }
        case 0xC3:
            if (i + 1 >= text.size()) return nullptr;
            *length = 2;
            switch (static_cast<unsigned char>(text[i + 1])) {
                case 0xA0:
                    return "&#224;";
                case 0xA7:
                    return "&#231;";
                case 0xA8:
                    return "&#232;";
                case 0xA9:
                    return "&#233;";
                case 0xAC:
                    return "&#236;";
                case 0xB2:
                    return "&#242;";
                case 0xB9:
                    return "&#249;";
                default:
                    return nullptr;
            }
        case 0xE2:
            if (i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x82 &&
                static_cast<unsigned char>(text[i + 2]) == 0xAC) {
                *length = 3;
                return "&#8364;";
            }
            return nullptr;
        default:
            return nullptr;
    }
}

inline bool MayNeedEscape(unsigned char c) {
    return c == '<' || c == '>' || c == '&' || c == '"' || c == 0xC2 || c == 0xC3 || c == 0xE2;
}

}  // namespace

void AppendEscapedXmlText(std::string& out, std::string_view text, bool escapeQuotes) {
    size_t start = 0;
    for (size_t i = 0; i < text.size();) {
        if (!MayNeedEscape(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        size_t length = 1;
        const char* escaped = EscapeOf(text, i, escapeQuotes, &length);
        if (escaped == nullptr) {
            ++i;
            continue;
        }
        out.append(text.data() + start, i - start);
        out.append(escaped);
        i += length;
        start = i;
    }
    out.append(text.data() + start, text.size() - start);
}

std::string EscapeXmlText(std::string_view text, bool escapeQuotes) {
    std::string out;
    out.reserve(text.size());
    AppendEscapedXmlText(out, text, escapeQuotes);
    return out;
}

namespace {
// A reference (at most 8 bytes) packed into one number, byte i in bits 8i..8i+7.
constexpr uint64_t ReferenceKey(const char* reference, size_t length) {
    uint64_t key = 0;
    for (size_t i = 0; i < length; ++i) key |= uint64_t{static_cast<unsigned char>(reference[i])} << (8 * i);
    return key;
}

struct KeyedEntity {
    uint64_t key;
    const Entity* entity;
};

// The table by key, for a binary search on numbers instead of texts.
constexpr auto kEntitiesByKey = [] {
    std::array<KeyedEntity, std::size(kEntities)> keyed{};
    for (size_t i = 0; i < std::size(kEntities); ++i) {
        keyed[i] = {ReferenceKey(kEntities[i].reference.data(), kEntities[i].reference.size()),
                    &kEntities[i]};
    }
    std::sort(keyed.begin(), keyed.end(),
              [](const KeyedEntity& a, const KeyedEntity& b) { return a.key < b.key; });
    return keyed;
}();

// The entity whose reference starts at in ("&..."), or null.
const Entity* EntityAt(const char* in, const char* end) {
    const size_t available = static_cast<size_t>(end - in);
    const void* semicolon = std::memchr(in + 1, ';', std::min(available, kLongestReference) - 1);
    if (semicolon == nullptr) return nullptr;
    const uint64_t key = ReferenceKey(in, static_cast<size_t>(static_cast<const char*>(semicolon) - in) + 1);
    const auto* found =
        std::lower_bound(kEntitiesByKey.begin(), kEntitiesByKey.end(), key,
                         [](const KeyedEntity& entity, uint64_t k) { return entity.key < k; });
    return found != kEntitiesByKey.end() && found->key == key ? found->entity : nullptr;
}
}  // namespace

size_t UnescapeXmlText(char* text, size_t length) {
    const char* end = text + length;
    const char* in = static_cast<const char*>(std::memchr(text, '&', length));
    if (in == nullptr) return length;
    // Every reference is longer than its text, so the output never overtakes the input.
    char* out = text + (in - text);
    while (in < end) {
        if (const Entity* entity = EntityAt(in, end)) {
            std::memcpy(out, entity->text.data(), entity->text.size());
            out += entity->text.size();
            in += entity->reference.size();
        } else {
            *out++ = *in++;
        }
        const char* next = static_cast<const char*>(std::memchr(in, '&', static_cast<size_t>(end - in)));
        if (next == nullptr) next = end;
        std::memmove(out, in, static_cast<size_t>(next - in));
        out += next - in;
        in = next;
    }
    return static_cast<size_t>(out - text);
}

void UnescapeXmlText(std::string& text) {
    if (text.empty()) return;
    text.resize(UnescapeXmlText(text.data(), text.size()));
}

std::string ResolveXIncludes(std::string_view text, std::string_view includeStartTag,
                             const std::filesystem::path& folder, int32_t encoding,
                             std::optional<std::string>& out) {
    out.reset();
    struct Include {
        size_t start;
        size_t end;  // the element's first ">"
        const std::string* content;
    };
    std::vector<Include> includes;
    std::map<std::string, std::string> files;
    size_t pos = 0;
    while (!includeStartTag.empty()) {
        const size_t start = text.find(includeStartTag, pos);
        if (start == std::string_view::npos) break;
        const size_t gt = text.find('>', start);
        if (gt == std::string_view::npos) break;  // unterminated: stop scanning here
        pos = gt + 1;
        const size_t href = text.find("href=\"", start + includeStartTag.size());
        if (href == std::string_view::npos || href >= gt) continue;
        const size_t nameStart = href + 6;
        const size_t nameEnd = text.find('"', nameStart);
        if (nameEnd == std::string_view::npos || nameEnd >= gt) continue;
        std::string name(text.substr(nameStart, nameEnd - nameStart));
        auto known = files.find(name);
        if (known == files.end()) {
            std::filesystem::path file = std::filesystem::path(name);
            if (file.is_relative()) file = folder / file;
            std::error_code ec;
            if (!std::filesystem::is_regular_file(file, ec)) continue;  // missing: element stays
            TextFile in;
            if (in.OpenForReading(file) != 0) return "Error including file " + name;
            in.SetEncoding(encoding & 0xFF);
            in.SetFlags(encoding & ~0xFF);
            std::string_view content;
            if (in.ReadWholeText(content) < -1) return "Error including file " + name;  // -1: empty
            known = files.emplace(name, std::string(content)).first;
        }
        includes.push_back({start, gt, &known->second});
    }
    if (includes.empty()) return {};
    std::string result;
    size_t total = text.size();
    for (const Include& include : includes) total += include.content->size();
    result.reserve(total);
    size_t from = 0;
    for (const Include& include : includes) {
        result.append(text.data() + from, include.start - from);
        result.append(*include.content);
        from = include.end + 1;
    }
    result.append(text.data() + from, text.size() - from);
    out = std::move(result);
    return {};
}

}  // namespace foundation
