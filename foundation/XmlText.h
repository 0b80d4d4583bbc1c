#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Escaping for element text and attribute values. An "&" that starts a well-formed character
// reference is kept so that numeric references written by callers pass through (any other "&" is
// escaped, or standard readers refuse the file); the accented letters, degree, section, pound,
// micro, square and euro signs are written as numeric references.
std::string EscapeXmlText(std::string_view text, bool escapeQuotes);
// Same, appended to out.
void AppendEscapedXmlText(std::string& out, std::string_view text, bool escapeQuotes);

// Decodes the entity table (named, decimal and upper-case hexadecimal forms) in place; anything
// else after "&" stays as it is.
void UnescapeXmlText(std::string& text);
// Same on a byte range; gives the new length.
size_t UnescapeXmlText(char* text, size_t length);

// Replaces every include element (from its "<" through its first ">") that starts with
// includeStartTag ("<xi:include") and names a readable file by href="..." with the text of that
// file, decoded as the including file was: encoding is a document's encoding field as it stood
// before the load (0 detects by byte-order mark; a mark wins over a given encoding). Relative
// names are resolved against folder. Gives an error text (empty on success); out stays empty when
// nothing was included.
std::string ResolveXIncludes(std::string_view text, std::string_view includeStartTag,
                             const std::filesystem::path& folder, int32_t encoding,
                             std::optional<std::string>& out);
