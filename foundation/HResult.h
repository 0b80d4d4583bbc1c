#pragma once
// Result codes of the loaders and savers that callers test against S_OK.
#include <cstdint>

namespace foundation {

using HRESULT = int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

}  // namespace foundation
