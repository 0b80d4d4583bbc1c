#pragma once

#include <cstddef>
#include <span>

namespace platform {

// One row of a table that gives each result code of a layer its fixed text.
template <class Code>
struct CodeText {
    Code code;
    const char* text;
};

// The text of the first row with the code; fallback when no row has it.
template <class Code>
constexpr const char* FindCodeText(std::span<const CodeText<Code>> table, Code code,
                                   const char* fallback = nullptr) {
    for (const CodeText<Code>& row : table)
        if (row.code == code) return row.text;
    return fallback;
}

}  // namespace platform
