#include "foundation/XmlDocument.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "foundation/LogFile.h"
#include "foundation/TextFile.h"
#include "foundation/XmlText.h"
#include "platform/CodePage.h"

namespace {

constexpr const char* kXIncludeNamespace = "http://www.w3.org/2001/XInclude";

// Character classes of the parser, one table look-up per byte.
enum : unsigned char {
    kSpace = 1,         // white space
    kEndsTagName = 2,   // white space, "/" and ">"
    kEndsAttrName = 4,  // those and "="
};

constexpr auto kCharClass = [] {
    std::array<unsigned char, 256> table{};
    for (unsigned char c : {' ', '\t', '\r', '\n'}) table[c] = kSpace | kEndsTagName | kEndsAttrName;
    for (unsigned char c : {'/', '>'}) table[c] = kEndsTagName | kEndsAttrName;
    table['='] = kEndsAttrName;
    return table;
}();

inline bool Is(char c, unsigned char charClass) {
    return (kCharClass[static_cast<unsigned char>(c)] & charClass) != 0;
}

inline bool IsSpace(char c) {
    return Is(c, kSpace);
}

inline const char* SkipSpace(const char* p, const char* end) {
    while (p < end && IsSpace(*p)) ++p;
    return p;
}

inline const char* Find(const char* p, const char* end, char c) {
    if (p >= end) return nullptr;
    return static_cast<const char*>(std::memchr(p, c, static_cast<size_t>(end - p)));
}

inline const char* FindText(const char* p, const char* end, std::string_view what) {
    while (p < end) {
        const char* hit = Find(p, end, what[0]);
        if (hit == nullptr || static_cast<size_t>(end - hit) < what.size()) return nullptr;
        if (std::memcmp(hit, what.data(), what.size()) == 0) return hit;
        p = hit + 1;
    }
    return nullptr;
}

inline bool StartsWith(const char* p, const char* end, std::string_view what) {
    return static_cast<size_t>(end - p) >= what.size() && std::memcmp(p, what.data(), what.size()) == 0;
}

// Eight bytes at a time (SWAR): each function gives, per byte, its high bit set where the byte
// matches, exactly (no false hits). Bytes of 0x80 and above never match.
inline uint64_t Load8(const char* p) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    return word;
}

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

// Bytes equal to c.
inline uint64_t BytesEqual(uint64_t word, char c) {
    const uint64_t x = word ^ (kOnes * static_cast<unsigned char>(c));
    return ~(((x & ~kHighs) + ~kHighs) | x) & kHighs;
}

// Control characters: bytes below 0x20 or equal to 0x7F.
inline uint64_t ControlBytes(uint64_t word) {
    const uint64_t below = ~((word & ~kHighs) + kOnes * (0x80 - 0x20)) & ~word & kHighs;
    return below | BytesEqual(word, 0x7F);
}

inline bool HasControl(const char* p, const char* end) {
    for (; end - p >= 8; p += 8) {
        if (ControlBytes(Load8(p)) != 0) return true;
    }
    for (; p < end; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F) return true;
    }
    return false;
}

// The quote that closes an attribute value, or end; entities tells whether an "&" comes first.
inline const char* FindClosingQuote(const char* p, const char* end, char quote, bool& entities) {
    if constexpr (std::endian::native == std::endian::little) {
        for (; end - p >= 8; p += 8) {
            const uint64_t word = Load8(p);
            const uint64_t quotes = BytesEqual(word, quote);
            const uint64_t ampersands = BytesEqual(word, '&');
            if (quotes != 0) {
                const uint64_t before = (quotes & (0 - quotes)) - 1;  // the bytes before the first quote
                entities |= (ampersands & before) != 0;
                return p + std::countr_zero(quotes) / 8;
            }
            entities |= ampersands != 0;
        }
    }
    for (; p < end && *p != quote; ++p) entities |= *p == '&';
    return p;
}

// Element text: leading white space dropped, then control characters (tabs and line breaks among
// them; UTF-8 sequences stay), then trailing white space; entities decoded.
void AppendElementText(std::string& value, const char* p, const char* end) {
    p = SkipSpace(p, end);
    if (p == end) return;
    const size_t base = value.size();
    if (HasControl(p, end)) {
        value.resize(base + static_cast<size_t>(end - p));
        char* out = value.data() + base;
        for (const char* q = p; q < end; ++q) {
            const unsigned char c = static_cast<unsigned char>(*q);
            if (c >= 0x20 && c != 0x7F) *out++ = static_cast<char>(c);
        }
        value.resize(static_cast<size_t>(out - value.data()));
    } else {
        value.append(p, static_cast<size_t>(end - p));
    }
    size_t length = value.size() - base;
    while (length > 0 && value[base + length - 1] == ' ') --length;
    length = UnescapeXmlText(value.data() + base, length);
    value.resize(base + length);
}

int Depth(const CXmlNode* node) {
    int depth = 0;
    for (; node != nullptr; node = node->Parent()) ++depth;
    return depth;
}

bool IsMarkup(const std::string& name) {
    return name == CXmlNode::kComment || name == CXmlNode::kProcessingInstruction ||
           name == CXmlNode::kDeclaration || name == CXmlNode::kCData;
}

// The XML declaration, as opposed to other processing instructions ("xml-stylesheet" ...).
bool IsXmlDeclaration(const CXmlNode& node) {
    if (node.Name() != CXmlNode::kProcessingInstruction) return false;
    const std::string& value = node.Value();
    return value.starts_with("xml") && (value.size() == 3 || IsSpace(value[3]));
}

struct TreeMeasure {
    size_t size = 0;  // of the text form, tags and quotes included, escapes not
    int depth = 0;    // nesting of elements (the top counts 1)
};

// Walked with a list of its own: trees built in code may be deeper than the stack.
TreeMeasure Measure(const CXmlNode& top) {
    TreeMeasure measure;
    std::vector<std::pair<const CXmlNode*, int>> pending{{&top, 1}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        measure.size += 2 * node->Name().size() + node->Value().size() + 12;
        for (const CXmlAttribute* attribute : node->Attributes()) {
            measure.size += attribute->Name().size() + attribute->Value().size() + 4;
        }
        if (!IsMarkup(node->Name())) measure.depth = std::max(measure.depth, depth);
        for (const CXmlNode* child : node->Children()) pending.emplace_back(child, depth + 1);
    }
    return measure;
}

// A "]]>" inside the text would end the section early: the text is split after its "]]" into
// further sections, which the parser joins again.
void AppendCData(std::string& out, const std::string& text) {
    out += "<![CDATA[";
    size_t from = 0;
    for (size_t at = text.find("]]>"); at != std::string::npos; at = text.find("]]>", at + 3)) {
        out.append(text, from, at + 2 - from);
        out += "]]><![CDATA[";
        from = at + 2;
    }
    out.append(text, from);
    out += "]]>";
}

void AppendMarkup(std::string& out, const CXmlNode& node) {
    const std::string& name = node.Name();
    if (name == CXmlNode::kComment) {
        out += "<!--";
        out += node.Value();
        out += "-->";
    } else if (name == CXmlNode::kProcessingInstruction) {
        out += "<?";
        out += node.Value();
        out += "?>";
    } else if (name == CXmlNode::kDeclaration) {
        out += '<';
        out += node.Value();
        out += '>';
    } else if (name == CXmlNode::kCData) {
        AppendCData(out, node.Value());
    }
}

// The start tag and text of an element; false when nothing more follows (markup, an empty
// element, or an element without children, which is closed here as well).
bool OpenElement(std::string& out, const CXmlNode& node, bool formatted) {
    if (IsMarkup(node.Name())) {
        AppendMarkup(out, node);
        return false;
    }
    out += '<';
    out += node.Name();
    for (const CXmlAttribute* attribute : node.Attributes()) {
        out += ' ';
        out += attribute->Name();
        out += "=\"";
        AppendEscapedXmlText(out, attribute->Value(), true);
        out += '"';
    }
    if (node.Value().empty() && node.Children().empty()) {
        out += "/>";
        return false;
    }
    out += '>';
    AppendEscapedXmlText(out, node.Value(), false);
    if (node.Children().empty()) {
        out += "</";
        out += node.Name();
        out += '>';
        return false;
    }
    if (formatted) out += "\r\n";
    return true;
}

// An element and its subtree, one tab of indentation per level in the formatted form; walked with
// a list of its own instead of recursion.
void AppendElement(std::string& out, const CXmlNode& top, bool formatted) {
    struct Level {
        const CXmlNode* node;
        size_t next;  // child to write next
    };
    std::vector<Level> open;
    if (OpenElement(out, top, formatted)) open.push_back({&top, 0});
    while (!open.empty()) {
        Level& level = open.back();
        const size_t depth = open.size() - 1;  // of level.node below top
        if (level.next < level.node->Children().size()) {
            const CXmlNode& child = *level.node->Children()[level.next++];
            if (formatted) out.append(depth + 1, '\t');
            if (OpenElement(out, child, formatted)) {
                open.push_back({&child, 0});
            } else if (formatted) {
                out += "\r\n";
            }
            continue;
        }
        if (formatted) out.append(depth, '\t');
        out += "</";
        out += level.node->Name();
        out += '>';
        open.pop_back();
        if (formatted && !open.empty()) out += "\r\n";
    }
}

}  // namespace

CXmlDocument::CXmlDocument() : root_(nullptr), docLevel_(nullptr) {}

CXmlDocument::~CXmlDocument() {
    root_.Clear();
}

// Children and attributes are gathered on stacks shared by the whole parse and handed to their
// node in one piece when it is done (or the parse stops), so that each list is allocated once at
// its final size instead of growing child by child.
struct CXmlDocument::ParseState {
    std::vector<std::unique_ptr<CXmlNode>> children;         // of the open elements, innermost last
    std::vector<std::unique_ptr<CXmlAttribute>> attributes;  // of the start tag being read
    // The CDATA section read last and where its "]]>" ends, so that a section split by the
    // writer around a "]]>" of its text is read back as one.
    CXmlNode* lastCData = nullptr;
    const char* lastCDataEnd = nullptr;
};

namespace {

using NodeList = std::vector<std::unique_ptr<CXmlNode>>;

// Hands the children gathered since mark to their node when the node's scope ends, whatever way
// the parse leaves it.
class PendingChildren {
  public:
    PendingChildren(NodeList& stack, NodeList& target)
        : stack_(stack), target_(target), mark_(stack.size()) {}
    ~PendingChildren() {
        if (stack_.size() == mark_) return;
        target_.insert(target_.end(),
                       std::make_move_iterator(stack_.begin() + static_cast<std::ptrdiff_t>(mark_)),
                       std::make_move_iterator(stack_.end()));
        stack_.resize(mark_);
    }
    PendingChildren(const PendingChildren&) = delete;
    PendingChildren& operator=(const PendingChildren&) = delete;

  private:
    NodeList& stack_;
    NodeList& target_;
    size_t mark_;
};

// The next "<" from p; markup mostly follows at once or after a little white space.
inline const char* FindTagStart(const char* p, const char* end) {
    const char* q = SkipSpace(p, end);
    if (q < end && *q == '<') return q;
    return Find(q, end, '<');
}

}  // namespace

int CXmlDocument::ParseElement(const char*& p, const char* end, CXmlNode* parent) {
    ParseState state;
    if (parent == nullptr) return ParseNode(state, p, end, nullptr, 0);
    PendingChildren pending(state.children, parent->children_);
    return ParseNode(state, p, end, parent, Depth(parent));
}

// depth: number of elements from parent up to the top (0 without parent).
int CXmlDocument::ParseNode(ParseState& state, const char*& p, const char* end, CXmlNode* parent, int depth) {
    CXmlNode* node = nullptr;
    // Looking for a tag.
    for (;;) {
        const char* lt = FindTagStart(p, end);
        if (lt == nullptr) {
            p = end;
            return 0;
        }
        p = SkipSpace(lt + 1, end);
        if (p == end) return kErrEndAfterLt;
        std::string_view markupName;
        std::string_view markupValue;
        bool toFront = false;
        bool cdata = false;
        if (*p != '!' && *p != '?') {
            // The parser recurses once per element: deeper documents are refused rather than
            // overflowing its stack. Only elements nest; markup and text inside the innermost
            // element are fine.
            if (parent != nullptr && depth >= kMaxDepth) return kErrTooDeep;
            const char* name = p;
            while (p < end && !Is(*p, kEndsTagName)) ++p;
            if (p == end) return kErrEndInTagName;
            const std::string_view tag(name, static_cast<size_t>(p - name));
            if (parent == nullptr) {
                node = &root_;
                root_.SetName(tag);
            } else {
                state.children.push_back(std::make_unique<CXmlNode>(parent));
                node = state.children.back().get();
                node->name_.assign(tag.data(), tag.size());
            }
            break;
        }
        if (StartsWith(p, end, "![CDATA[")) {
            const char* close = FindText(p + 8, end, "]]>");
            if (close == nullptr) return kErrCDataOpen;
            markupName = CXmlNode::kCData;
            cdata = true;
            markupValue = std::string_view(p + 8, static_cast<size_t>(close - (p + 8)));
            p = close + 3;
        } else if (StartsWith(p, end, "!--")) {
            const char* close = FindText(p + 3, end, "-->");
            if (close == nullptr) return kErrCommentOpen;
            markupName = CXmlNode::kComment;
            markupValue = std::string_view(p + 3, static_cast<size_t>(close - (p + 3)));
            p = close + 3;
            toFront = true;
        } else if (*p == '?') {
            const char* close = FindText(p + 1, end, "?>");
            if (close == nullptr) return kErrPiOpen;
            markupName = CXmlNode::kProcessingInstruction;
            markupValue = std::string_view(p + 1, static_cast<size_t>(close - (p + 1)));
            p = close + 2;
        } else {
            const char* close = Find(p, end, '>');
            if (close == nullptr) return kErrDeclOpen;
            markupName = CXmlNode::kDeclaration;
            markupValue = std::string_view(p, static_cast<size_t>(close - p));
            p = close + 1;
        }
        if (cdata) {
            if (lt == state.lastCDataEnd && !markupValue.empty() && markupValue.front() == '>' &&
                state.lastCData->value_.ends_with("]]")) {
                state.lastCData->value_.append(markupValue);
                state.lastCDataEnd = p;
                if (parent != nullptr) return 0;
                continue;
            }
            state.lastCDataEnd = p;
        }
        if (parent != nullptr) {
            state.children.push_back(std::make_unique<CXmlNode>(parent));
            CXmlNode* markup = state.children.back().get();
            markup->name_.assign(markupName.data(), markupName.size());
            markup->value_.assign(markupValue.data(), markupValue.size());
            if (cdata) state.lastCData = markup;
            return 0;
        }
        if (toFront) {
            auto comment = std::make_unique<CXmlNode>(&docLevel_);
            comment->SetName(markupName);
            comment->SetValue(markupValue);
            docLevel_.children_.insert(docLevel_.children_.begin(), std::move(comment));
        } else {
            CXmlNode* added = docLevel_.AddChild(markupName, markupValue);
            if (cdata) state.lastCData = added;
        }
    }

    const int tag = ParseStartTag(state, p, end, node);
    if (tag != 0) return tag < 0 ? 0 : tag;

    // Reading content.
    const int nodeDepth = parent == nullptr ? 1 : depth + 1;
    PendingChildren pending(state.children, node->children_);
    for (;;) {
        const char* lt = FindTagStart(p, end);
        if (lt == nullptr) {
            p = end;
            return 0;
        }
        if (lt > p) AppendElementText(node->value_, p, lt);
        p = lt;
        if (p + 1 < end && p[1] == '/') {
            p = SkipSpace(p + 2, end);
            if (p == end) return kErrEndAfterLtSlash;
            const std::string& open = node->name_;
            if (static_cast<size_t>(end - p) > open.size() && p[open.size()] == '>' &&
                std::memcmp(p, open.data(), open.size()) == 0) {
                p += open.size() + 1;  // the usual "</name>"
                return 0;
            }
            const char* name = p;
            while (p < end && *p != ' ' && *p != '>') ++p;
            if (p == end) return kErrEndInEndTag;
            const size_t length = static_cast<size_t>(p - name);
            if (length > node->name_.size() || std::memcmp(name, node->name_.data(), length) != 0) {
                return kErrEndTagMismatch;
            }
            const char* gt = Find(p, end, '>');
            if (gt == nullptr) return kErrNoGt;
            p = gt + 1;
            return 0;
        }
        const int result = ParseNode(state, p, end, node, nodeDepth);
        if (result != 0) return result;
    }
}

// Reads the attributes and the end of a start tag: 0 when content follows, -1 for an empty
// element ("/>"), or a parse error. The attributes read go to the node in any case.
int CXmlDocument::ParseStartTag(ParseState& state, const char*& p, const char* end, CXmlNode* node) {
    std::vector<std::unique_ptr<CXmlAttribute>>& gathered = state.attributes;
    struct Handover {
        std::vector<std::unique_ptr<CXmlAttribute>>& from;
        std::vector<std::unique_ptr<CXmlAttribute>>& to;
        ~Handover() {
            if (from.empty()) return;
            to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
            from.clear();
        }
    } handover{gathered, node->attributes_};
    for (;;) {
        p = SkipSpace(p, end);
        if (p == end) return kErrEndInStartTag;
        if (*p == '/') {
            const char* gt = Find(p, end, '>');
            if (gt == nullptr) return kErrNoGt;
            p = gt + 1;
            return -1;
        }
        if (*p == '>') {
            ++p;
            return 0;
        }
        const char* name = p;
        while (p < end && !Is(*p, kEndsAttrName)) ++p;
        if (p == end) return kErrEndInAttrName;
        const std::string_view attributeName(name, static_cast<size_t>(p - name));
        // An attribute the tag breaks off in stays, with its name only.
        auto brokenOff = [&](int error) {
            gathered.push_back(std::make_unique<CXmlAttribute>(attributeName, std::string_view()));
            return error;
        };
        p = SkipSpace(p, end);
        if (p == end) return brokenOff(kErrEndAfterAttrName);
        if (*p != '=') return brokenOff(kErrNoEquals);
        ++p;
        while (p < end && *p != '"' && *p != '\'') ++p;
        if (p == end) return brokenOff(kErrNoQuote);
        bool entities = false;
        const char* close = FindClosingQuote(p + 1, end, *p, entities);
        if (close == end) return brokenOff(kErrNoClosingQuote);
        gathered.push_back(std::make_unique<CXmlAttribute>(
            attributeName, std::string_view(p + 1, static_cast<size_t>(close - (p + 1)))));
        CXmlAttribute* attribute = gathered.back().get();
        if (entities) UnescapeXmlText(attribute->MutableValue());
        p = close + 1;
    }
}

int CXmlDocument::LoadXmlText(std::string_view text) {
    root_.Clear();
    docLevel_.Clear();
    errorCode_ = 0;
    errorOffset_ = 0;
    // The text ends at its first NUL, as a C string would.
    if (const void* nul = text.empty() ? nullptr : std::memchr(text.data(), 0, text.size())) {
        text = text.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - text.data()));
    }
    if (text.empty()) {
        errorCode_ = kErrEmptyText;
        return errorCode_;
    }
    const char* p = text.data();
    const int result = ParseElement(p, text.data() + text.size(), nullptr);
    // What was read before the error would pass for the document's data.
    if (result != 0) {
        root_.Clear();
        docLevel_.Clear();
        errorCode_ = result;
        errorOffset_ = static_cast<size_t>(p - text.data());
    }
    return result;
}

HRESULT CXmlDocument::LoadXml(std::string_view text) {
    return LoadXmlText(text) == 0 ? S_OK : E_FAIL;
}

HRESULT CXmlDocument::LoadXmlW(std::u16string_view text) {
    return LoadXml(platform::Utf16ToUtf8(text));
}

bool CXmlDocument::Serialise(std::string& out, bool formatted) {
    out.clear();
    if (root_.Name().empty()) root_.SetName("xml");
    const TreeMeasure tree = Measure(root_);
    if (tree.depth > kMaxDepth) return false;  // no loader would read it back
    std::string buffer;
    const size_t estimate = tree.size + Measure(docLevel_).size;
    buffer.reserve(estimate + estimate / 10);
    // The declaration first, wherever the parse put it (document-level comments go to the front):
    // standard readers refuse anything before it.
    const CXmlNode* declaration = nullptr;
    for (const CXmlNode* node : docLevel_.Children()) {
        if (IsXmlDeclaration(*node)) {
            declaration = node;
            break;
        }
    }
    if (declaration != nullptr) {
        AppendMarkup(buffer, *declaration);
        if (formatted) buffer += "\r\n";
    }
    for (const CXmlNode* node : docLevel_.Children()) {
        const std::string& name = node->Name();
        if (node == declaration || (name != CXmlNode::kComment && name != CXmlNode::kProcessingInstruction &&
                                    name != CXmlNode::kDeclaration)) {
            continue;
        }
        AppendMarkup(buffer, *node);
        if (formatted) buffer += "\r\n";
    }
    AppendElement(buffer, root_, formatted);
    out = std::move(buffer);
    return true;
}

HRESULT CXmlDocument::GetXml(std::string& out) {
    return Serialise(out, false) ? S_OK : E_FAIL;
}

HRESULT CXmlDocument::GetXmlFormatted(std::string& out) {
    return Serialise(out, true) ? S_OK : E_FAIL;
}

HRESULT CXmlDocument::GetXmlBstr(BSTR* out) {
    std::string text;
    const HRESULT hr = GetXml(text);
    if (out != nullptr) *out = platform::BstrFromUtf8(text);
    return hr;
}

HRESULT CXmlDocument::Save(const std::filesystem::path& file) {
    std::string text;
    if (!Serialise(text, true)) return E_FAIL;
    TextFile out;
    if (out.OpenForWriting(file) != 0) return E_FAIL;
    int32_t encoding = encoding_ & 0xFF;
    if (encoding == kTextEncodingDetect) encoding = kTextEncodingAnsi;
    out.SetEncoding(encoding);
    out.SetFlags((encoding_ & ~0xFF) | kTextFileRawLineEnds);
    // UTF-16 is only told apart by its mark (readers would take it for ANSI or UTF-8 without it).
    out.SetByteOrderMarkPending(encoding == kTextEncodingUtf16Le || encoding == kTextEncodingUtf16Be);
    if (out.CreateWriter() != 0 || out.Write(text) != 0) {
        out.Abort();
        return E_FAIL;
    }
    return out.Close() == 0 ? S_OK : E_FAIL;
}

HRESULT CXmlDocument::Load(const std::filesystem::path& file) {
    errorCode_ = 0;
    errorOffset_ = 0;
    auto fail = [&](int code) {
        errorCode_ = code;
        char line[64];
        std::snprintf(line, sizeof line, ": error %d at byte %zu", errorCode_, errorOffset_);
        DebugLog().Write("CXmlDocument::Load " + file.string() + line);
        return E_FAIL;
    };
    std::error_code ec;
    static_cast<void>(std::filesystem::file_size(file, ec));  // refuses what is no regular file
    if (ec) return fail(kErrCannotRead);
    TextFile in;  // holds the text until the parse is done
    if (in.OpenForReading(file) != 0) return fail(kErrCannotRead);
    const int32_t requested = encoding_;
    in.SetEncoding(requested & 0xFF);
    in.SetFlags(requested & ~0xFF);
    std::string_view text;
    if (in.ReadWholeText(text) < -1) return fail(kErrCannotRead);
    encoding_ = in.Encoding();

    std::optional<std::string> expanded;
    const size_t ns = text.find(kXIncludeNamespace);
    if (ns != std::string_view::npos && ns > 0) {
        std::string tag;
        const size_t equals = text.rfind('=', ns);
        if (equals != std::string_view::npos) {
            const size_t colon = text.rfind(':', equals);
            if (colon != std::string_view::npos) {
                size_t start = colon + 1;
                while (start < text.size() && text[start] == ' ') ++start;
                size_t stop = start;
                while (stop < text.size() && text[stop] != ' ' && text[stop] != '=') ++stop;
                if (stop > start) {
                    tag.reserve(stop - start + 9);
                    tag += '<';
                    tag.append(text, start, stop - start);
                    tag += ":include";
                }
            }
        }
        if (!tag.empty()) {
            const std::string error = ResolveXIncludes(text, tag, file.parent_path(), requested, expanded);
            if (!error.empty()) return fail(kErrCannotInclude);
        }
    }
    const std::string_view parsed = expanded ? *expanded : text;
    const int result = LoadXmlText(parsed);
    if (result != 0) return fail(result);
    // A file that holds no element at all is no document (a text in another encoding than the one
    // it was read in looks like that).
    if (root_.Name().empty()) {
        docLevel_.Clear();
        errorOffset_ = parsed.size();
        return fail(kErrNoElement);
    }
    return S_OK;
}
