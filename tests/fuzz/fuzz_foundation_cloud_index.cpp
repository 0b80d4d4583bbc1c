// The cloud index comes from a server: any text must be read or refused without a crash, and a
// name is only ever handed back for an element whose identity equals the wanted one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/CloudSearch.h"
#include "foundation/Identity.h"

using namespace foundation;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    CIdentity wanted;
    wanted.Set(1234, 2, 3, 1, 0);
    std::string name;
    CloudIndexMatch match = FindInCloudIndex(text, wanted, &name);
    if (match != CloudIndexMatch::Found && !name.empty()) std::abort();
    return 0;
}
