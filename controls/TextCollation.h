#pragma once
// The one text order of the controls' sorting: texts compare by Unicode code
// point, case-sensitive. For UTF-8 that is the order of the bytes read as
// unsigned values, so no text needs decoding; bytes that are not UTF-8 still
// compare consistently. The order is total, so sorting by it is well defined.

#include <string_view>

namespace controls {

// Negative, zero or positive as a sorts before, with or after b.
int CollateText(std::string_view a, std::string_view b);

}  // namespace controls
