#include "foundation/Version.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "foundation/StrictNumber.h"

namespace foundation {

using strict_number::ParseDecimal;

void CVersion::Reset() {
    majorOnly = false;
    major = minor = patch = -1;
    preState = 0;
    preNumber = 0;
}

void CVersion::Set(int32_t newMajor, int32_t newMinor, int32_t newPatch, uint32_t state, uint32_t number) {
    major = newMajor;
    minor = newMinor;
    patch = newPatch;
    preState = state;
    preNumber = number;
    Normalise();
}

void CVersion::Normalise() {
    if (major < 0) {
        majorOnly = false;
        return;
    }
    if (minor == -1 || patch == -1) {
        minor = 0;
        patch = 0;
        majorOnly = true;
    } else {
        majorOnly = false;
    }
}

namespace {

std::string PartText(int32_t value) {
    return value < 0 ? std::string("?") : std::to_string(value);
}

}  // namespace

std::string CVersion::GetNumberText() const {
    if (majorOnly) return PartText(major);
    return PartText(major) + "." + PartText(minor) + "." + PartText(patch);
}

std::string GetPrereleaseName(uint32_t state) {
    switch (state) {
        case kPrereleaseAlpha:
            return "alpha";
        case kPrereleaseBeta:
            return "beta";
        case kPrereleaseRc:
            return "rc";
        case kPrereleaseNb:
            return "nb";
        case kPrereleaseFake:
            return "fake";
        default:
            return "'" + std::to_string(static_cast<int32_t>(state)) + "'";
    }
}

std::string CVersion::GetText() const {
    std::string text = GetNumberText();
    if (preState != 0) {
        text += "-" + GetPrereleaseName(preState) + std::to_string(static_cast<int32_t>(preNumber));
    }
    return text;
}

std::string CVersion::GetCompactText() const {
    char buffer[96];
    if (majorOnly) {
        std::snprintf(buffer, sizeof buffer, "%d,-1,-1,%d,%d", major, static_cast<int32_t>(preState),
                      static_cast<int32_t>(preNumber));
    } else {
        std::snprintf(buffer, sizeof buffer, "%d,%d,%d,%d,%d", major, minor, patch,
                      static_cast<int32_t>(preState), static_cast<int32_t>(preNumber));
    }
    return buffer;
}

namespace {

// Prerelease fields are written signed ("%d") but held unsigned: accept both spellings.
bool ParseUnsignedField(std::string_view text, uint32_t* value) {
    int64_t wide = 0;
    if (!ParseDecimal(text, &wide)) return false;
    if (wide < std::numeric_limits<int32_t>::min() || wide > std::numeric_limits<uint32_t>::max())
        return false;
    *value = static_cast<uint32_t>(wide);
    return true;
}

}  // namespace

bool CVersion::Parse(std::string_view text, int& position) {
    Reset();
    if (position < 0 || static_cast<size_t>(position) >= text.size()) return false;

    std::string_view fields[5];
    size_t start = static_cast<size_t>(position);
    size_t end = start;
    for (int i = 0; i < 5; ++i) {
        if (start > text.size()) return false;
        end = text.find(',', start);
        if (end == std::string_view::npos) end = text.size();
        fields[i] = text.substr(start, end - start);
        if (i < 4 && end == text.size()) return false;  // fewer than five numbers
        start = end + 1;
    }

    CVersion parsed;
    if (!ParseDecimal(fields[0], &parsed.major) || !ParseDecimal(fields[1], &parsed.minor) ||
        !ParseDecimal(fields[2], &parsed.patch) || !ParseUnsignedField(fields[3], &parsed.preState) ||
        !ParseUnsignedField(fields[4], &parsed.preNumber)) {
        return false;
    }
    parsed.Normalise();
    *this = parsed;
    position = end < text.size() ? static_cast<int>(end) : -1;
    return true;
}

bool CVersion::operator==(const CVersion& other) const {
    if (major != other.major || minor != other.minor || patch != other.patch || preState != other.preState) {
        return false;
    }
    return preState == 0 || preNumber == other.preNumber;
}

uint64_t VersionTextToNumber(std::string_view text, bool* ok) {
    if (ok) *ok = true;
    if (text.empty()) return 0;
    auto refuse = [ok]() -> uint64_t {
        if (ok) *ok = false;
        return 0;
    };
    if (text.size() > 49) return refuse();

    uint64_t value = 0;
    int parts = 0;
    size_t start = 0;
    while (true) {
        size_t end = text.find('.', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view part = text.substr(start, end - start);
        uint32_t number = 0;
        if (part.empty() || part.front() == '-' || !ParseDecimal(part, &number) || number > 0xFFFF) {
            return refuse();
        }
        value = (value << 16) | number;  // more than four parts: the oldest part falls off the top
        ++parts;
        if (end == text.size()) break;
        start = end + 1;
    }
    for (; parts < 4; ++parts) value <<= 16;
    return value;
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool ParseValueText(std::string_view text, std::vector<uint8_t>& buffer, std::string* error) {
    auto refuse = [&](const char* why) {
        if (error) *error = std::string(why) + ": '" + std::string(text) + "'";
        return false;
    };
    while (!text.empty() && strict_number::IsBlank(text.front())) text.remove_prefix(1);

    std::vector<uint8_t> bytes;
    if (text.empty()) {
        bytes.assign(4, 0);
    } else if (text.front() == '\'') {
        for (char c : text) {
            if (c != '\'') bytes.push_back(static_cast<uint8_t>(c));
        }
        if (bytes.empty()) bytes.push_back(0);
    } else if (text.size() >= 2 && text[0] == '0' && text[1] == 'x') {
        std::string_view digits = text.substr(2);
        while (!digits.empty() && strict_number::IsBlank(digits.back())) digits.remove_suffix(1);
        if (digits.empty() || digits.size() % 2 != 0) return refuse("Invalid hexadecimal value");
        for (size_t i = 0; i < digits.size(); i += 2) {
            int high = HexDigit(digits[i]);
            int low = HexDigit(digits[i + 1]);
            if (high < 0 || low < 0) return refuse("Invalid hexadecimal value");
            bytes.push_back(static_cast<uint8_t>(high * 16 + low));
        }
    } else {
        int64_t number = 0;
        if (!ParseDecimal(strict_number::Trim(text), &number)) return refuse("Invalid number");
        if (number < std::numeric_limits<int32_t>::min() || number > std::numeric_limits<uint32_t>::max()) {
            return refuse("Number out of range");
        }
        uint32_t raw = static_cast<uint32_t>(number);
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(raw >> (8 * i)));
    }

    if (buffer.empty()) {
        buffer = std::move(bytes);
    } else {
        size_t count = std::min(buffer.size(), bytes.size());
        std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count), buffer.begin());
    }
    if (error) error->clear();
    return true;
}

std::string GetBusTypeName(int busType) {
    switch (busType) {
        case 1:
            return "Modbus";
        case 2:
            return "CANopen";
        case 3:
            return "Profibus";
        case 4:
            return "Ethercat";
        default:
            return std::string();
    }
}

std::string GetBusTypeShortName(int busType) {
    switch (busType) {
        case 1:
            return "COM";
        case 2:
            return "CAN";
        case 3:
            return "PRO";
        case 4:
            return "ETH";
        default:
            return std::string();
    }
}

}  // namespace foundation
