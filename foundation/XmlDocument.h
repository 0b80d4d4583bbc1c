#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "foundation/HResult.h"
#include "foundation/XmlNode.h"
#include "platform/bstr/Bstr.h"

// An XML document: the root element and the document-level node (declaration, comments and other
// markup outside the root). Files are read and written through the encoded text file layer in the
// document's encoding (default 4 = UTF-8; see TextFile.h); text in memory is UTF-8.
class CXmlDocument {
  public:
    CXmlDocument();
    virtual ~CXmlDocument();
    CXmlDocument(const CXmlDocument&) = delete;
    CXmlDocument& operator=(const CXmlDocument&) = delete;

    CXmlNode& Root() { return root_; }
    const CXmlNode& Root() const { return root_; }
    CXmlNode& DocumentLevel() { return docLevel_; }
    const CXmlNode& DocumentLevel() const { return docLevel_; }

    // Low byte: 0 detect by byte-order mark, 1 ANSI (Windows-1252), 2 UTF-16LE, 3 UTF-16BE, 4 UTF-8;
    // bits above: TextFile option flags. After Load it holds the encoding used.
    int32_t Encoding() const { return encoding_; }
    void SetEncoding(int32_t encoding) { encoding_ = encoding; }
    int32_t CharSize() const { return charSize_; }

    // S_OK or E_FAIL (file missing or unreadable, include unreadable, parse error, no element at
    // all); ErrorCode and ErrorOffset then tell why, and a debug log line names both. A file that
    // cannot be read or included leaves the document as it was; a parse error leaves it empty. A
    // byte-order mark wins over the encoding asked for; included files are decoded the same way.
    HRESULT Load(const std::filesystem::path& file);
    // S_OK, or E_FAIL for an empty text or a parse error.
    HRESULT LoadXml(std::string_view text);
    HRESULT LoadXmlW(std::u16string_view text);
    // 0, a parse error code (1..19) or 4306 for an empty text. Clears the document first, and
    // again on an error, so that nothing half read passes for data. Text that holds no element,
    // or ends with elements still open, is accepted (an unnamed root; the open elements kept).
    int LoadXmlText(std::string_view text);
    // Parses one node below parent (null = document level) from cursor, which it advances; on an
    // error, what was read stays below parent.
    int ParseElement(const char*& cursor, const char* end, CXmlNode* parent);

    // Why the last Load, LoadXml or LoadXmlText failed (0 after a success): a parse error code, or
    // one of kErrEmptyText, kErrNoElement, kErrCannotRead, kErrCannotInclude. ErrorOffset is the
    // byte where parsing stopped, in the text as parsed (decoded to UTF-8, includes expanded).
    int ErrorCode() const { return errorCode_; }
    size_t ErrorOffset() const { return errorOffset_; }

    // The text forms write the XML declaration first. A tree nested deeper than the loader reads
    // (kMaxDepth elements) is not written: E_FAIL and an empty text.
    // Compact text (no line breaks). An unnamed root is named "xml" first.
    HRESULT GetXml(std::string& out);
    HRESULT GetXmlBstr(BSTR* out);
    // CR LF line ends and tab indentation, as Save writes it.
    HRESULT GetXmlFormatted(std::string& out);
    // Writes a temporary file in the same folder and renames it over the old one (through a
    // symbolic link onto the file it names): S_OK, or E_FAIL when anything fails, the file is
    // read-only among them (the old file then stays whole). UTF-16 files begin with their
    // byte-order mark.
    HRESULT Save(const std::filesystem::path& file);

    // Deepest nesting of elements that is read and written.
    static constexpr int kMaxDepth = 1000;

    // Parse error codes.
    enum ParseError : int {
        kErrEndAfterLt = 1,
        kErrEndInTagName = 2,
        kErrEndInStartTag = 3,
        kErrNoGt = 4,
        kErrEndInAttrName = 5,
        kErrEndAfterAttrName = 6,
        kErrNoEquals = 7,
        kErrNoQuote = 8,
        kErrNoClosingQuote = 9,
        kErrEndAfterLtSlash = 10,
        kErrEndInEndTag = 11,
        kErrEndTagMismatch = 12,
        kErrCDataOpen = 13,
        kErrCommentOpen = 15,
        kErrPiOpen = 17,
        kErrDeclOpen = 18,
        kErrTooDeep = 19,        // nesting deeper than kMaxDepth elements
        kErrNoElement = 20,      // Load: the text holds no element
        kErrCannotRead = 21,     // Load: the file is missing or cannot be read
        kErrCannotInclude = 22,  // Load: an included file cannot be read
        kErrEmptyText = 4306,
    };

  private:
    struct ParseState;
    int ParseNode(ParseState& state, const char*& p, const char* end, CXmlNode* parent, int depth);
    int ParseStartTag(ParseState& state, const char*& p, const char* end, CXmlNode* node);
    bool Serialise(std::string& out, bool formatted);

    CXmlNode root_;
    int32_t charSize_ = 1;
    int32_t encoding_ = 4;
    CXmlNode docLevel_;
    int errorCode_ = 0;
    size_t errorOffset_ = 0;
};
