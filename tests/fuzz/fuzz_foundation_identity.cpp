// Identity, version and value texts come from drives, index files and the cloud index: every
// reader must refuse what it cannot read whole, and what it accepts must write back the same way.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Identity.h"
#include "foundation/Version.h"

using namespace foundation;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    CIdentity compact;
    if (compact.ParseCompactText(text)) {
        CIdentity again;
        if (!again.ParseCompactText(compact.GetCompactText()) ||
            again.GetCompactText() != compact.GetCompactText()) {
            std::abort();
        }
    } else if (compact.code != -1 || !compact.attributes.empty()) {
        std::abort();
    }

    CIdentity versioned;
    if (!versioned.ParseText(text) && versioned.code != -1) std::abort();
    (void)versioned.GetDescription();
    (void)versioned.GetFullText(true);

    CVersion version;
    int position = 0;
    if (version.Parse(text, position) && position >= 0 &&
        (static_cast<size_t>(position) >= size || text[position] != ','))
        std::abort();

    bool ok = false;
    (void)VersionTextToNumber(text, &ok);

    std::vector<uint8_t> natural;
    std::vector<uint8_t> fixed(3, 0);
    if (ParseValueText(text, natural) && natural.empty()) std::abort();
    (void)ParseValueText(text, fixed);
    if (fixed.size() != 3) std::abort();
    return 0;
}
