#pragma once
// A stable merge sort over positions. Whatever the comparison answers, even
// one that contradicts itself, the result is a permutation of 0..n-1 and no
// position outside the range is ever read; equal elements keep their order.

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <vector>

namespace controls {

// less(a, b): true when the element at position a must come before the one at b.
template <class Less>
std::vector<size_t> StableOrder(size_t n, Less less) {
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), size_t{0});
    std::vector<size_t> merged(n);
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo + width < n; lo += 2 * width) {
            const size_t mid = lo + width;
            const size_t hi = std::min(lo + 2 * width, n);
            size_t i = lo;
            size_t j = mid;
            size_t k = lo;
            while (i < mid && j < hi) merged[k++] = less(order[j], order[i]) ? order[j++] : order[i++];
            while (i < mid) merged[k++] = order[i++];
            while (j < hi) merged[k++] = order[j++];
            std::copy(merged.begin() + static_cast<std::ptrdiff_t>(lo),
                      merged.begin() + static_cast<std::ptrdiff_t>(hi),
                      order.begin() + static_cast<std::ptrdiff_t>(lo));
        }
    }
    return order;
}

}  // namespace controls
