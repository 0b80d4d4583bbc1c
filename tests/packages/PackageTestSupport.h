#pragma once
// Builders of package files (containers, info headers, XML-wrapped firmware, archives) written
// from the file formats, independent of the readers under test.

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace package_test {

class Bytes {
  public:
    explicit Bytes(bool bigEndian = true) : big_(bigEndian) {}
    Bytes& U8(uint32_t v) {
        b.push_back(uint8_t(v));
        return *this;
    }
    Bytes& U16(uint32_t v) {
        if (big_) {
            b.push_back(uint8_t(v >> 8));
            b.push_back(uint8_t(v));
        } else {
            b.push_back(uint8_t(v));
            b.push_back(uint8_t(v >> 8));
        }
        return *this;
    }
    Bytes& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(big_ ? v >> (24 - 8 * i) : v >> (8 * i)));
        return *this;
    }
    Bytes& Raw(const std::vector<uint8_t>& data) {
        b.insert(b.end(), data.begin(), data.end());
        return *this;
    }
    Bytes& Zeros(size_t n) {
        b.insert(b.end(), n, 0);
        return *this;
    }
    void SetU32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(big_ ? v >> (24 - 8 * i) : v >> (8 * i));
    }
    void SetU16(size_t at, uint32_t v) {
        b[at] = uint8_t(big_ ? v >> 8 : v);
        b[at + 1] = uint8_t(big_ ? v : v >> 8);
    }
    size_t Size() const { return b.size(); }
    std::vector<uint8_t> b;

  private:
    bool big_;
};

// Legacy info header (versions 2 and 3), big-endian. managementFields: how many of extract,
// first, segment, last, restart lie inside the header (0 = header 2).
struct LegacyHeader {
    uint16_t code = 20;
    uint16_t major = 3;
    uint16_t build = 0;
    std::vector<std::pair<uint16_t, uint16_t>> keys;
    std::vector<uint16_t> hardware;
    int managementFields = 0;
    uint16_t extract = 1;
    uint32_t timeouts[4] = {111, 222, 333, 444};
    uint32_t size = 0;  // size field
    int extraLength = 0;
    uint16_t headerVersion = 3;  // at offset 8, where the compatibility reader looks

    std::vector<uint8_t> Build() const {
        Bytes h(true);
        h.U32(0)
            .U32(size)
            .U16(headerVersion)
            .Zeros(26)
            .U16(code)
            .U16(major)
            .U16(build)
            .U16(uint32_t(keys.size()));
        for (auto& k : keys) h.U16(k.first).U16(k.second);
        h.U16(uint32_t(hardware.size()));
        for (uint16_t hw : hardware) h.U16(hw);
        if (managementFields > 0) h.U16(extract);
        for (int i = 0; i < managementFields - 1 && i < 4; ++i) h.U32(timeouts[i]);
        size_t length = h.Size() + size_t(extraLength);
        if (length < 52) {
            h.Zeros(52 - length);
            length = 52;
        }
        h.Zeros(size_t(extraLength));
        h.SetU32(0, uint32_t(length));
        return h.b;
    }
};

// Version-4 info header, big-endian, built section by section.
class Header4 {
  public:
    struct Component {
        uint16_t id[6] = {};
        std::vector<std::pair<uint16_t, uint16_t>> attributes;
        uint16_t metaType = 0;
        std::vector<uint8_t> meta;
        std::vector<Component> subs;
    };
    Header4& Identity(const Component& c) {
        sections_.push_back({1, 1, {}, c});
        return *this;
    }
    Header4& Compatibility(std::vector<std::array<uint16_t, 5>> keys, uint16_t version = 1) {
        Bytes d;
        d.U16(uint32_t(keys.size()));
        for (auto& k : keys)
            for (uint16_t v : k) d.U16(v);
        sections_.push_back({2, version, d.b, {}});
        return *this;
    }
    Header4& Hardware(std::vector<uint16_t> codes, uint16_t version = 1) {
        Bytes d;
        d.U16(uint32_t(codes.size()));
        for (uint16_t c : codes) d.U16(c);
        sections_.push_back({3, version, d.b, {}});
        return *this;
    }
    Header4& Manage(uint16_t extract, uint32_t first, uint32_t segment, uint32_t last, uint32_t restart) {
        Bytes d;
        d.U16(extract).U32(first).U32(segment).U32(last).U32(restart);
        sections_.push_back({4, 1, d.b, {}});
        return *this;
    }
    Header4& Other(uint16_t type) {
        sections_.push_back({type, 9, {1, 2, 3, 4}, {}});
        return *this;
    }
    std::vector<uint8_t> Build(uint16_t headerVersion = 4) const {
        Bytes h(true);
        h.U32(0).U32(0x1234).U16(headerVersion);
        for (size_t i = 0; i < sections_.size(); ++i) {
            const Section& s = sections_[i];
            size_t start = h.Size();
            h.U16(s.type).U16(s.version).U32(0);
            if (s.type == 1) {
                WriteComponents(h, {s.component}, start);
            } else {
                h.Raw(s.data);
            }
            if (i + 1 < sections_.size()) h.SetU32(start + 4, uint32_t(h.Size()));
        }
        h.SetU32(0, uint32_t(h.Size()));
        return h.b;
    }

  private:
    struct Section {
        uint16_t type;
        uint16_t version;
        std::vector<uint8_t> data;
        Component component;
    };
    // Writes a list of sibling records; children follow each record's own list.
    static void WriteComponents(Bytes& h, const std::vector<Component>& list, size_t) {
        std::vector<size_t> starts;
        for (size_t i = 0; i < list.size(); ++i) {
            const Component& c = list[i];
            size_t start = h.Size();
            starts.push_back(start);
            h.U16(uint32_t(c.subs.size())).U32(0).U32(0);
            for (uint16_t v : c.id) h.U16(v);
            h.U16(uint32_t(c.attributes.size()));
            for (auto& a : c.attributes) h.U16(a.first).U16(a.second);
            h.U16(c.metaType).U32(uint32_t(c.meta.size())).Raw(c.meta);
            if (!c.subs.empty()) {
                h.SetU32(start + 2, uint32_t(h.Size()));
                WriteComponents(h, c.subs, 0);
            }
            if (i > 0) h.SetU32(starts[i - 1] + 6, uint32_t(start));
        }
    }
    std::vector<Section> sections_;
};

struct Block {
    uint16_t type;
    uint16_t subtype;
    std::vector<uint8_t> data;
};

// Container: 32-byte header, block table at 32, blocks after it (padded to 4).
inline std::vector<uint8_t> Container(const std::vector<Block>& blocks, uint8_t flags = 0x11,
                                      uint16_t kind = 0x0166, uint8_t version = 1) {
    const bool big = (flags & 3) == 0;
    Bytes c(big);
    c.U8(0x43).U8(0x43).U8(version).U8(0).U8(0).U8(flags).U16(32).U16(kind).U16(0).U32(
        uint32_t(blocks.size()));
    c.Zeros(16);
    size_t offset = 32 + 16 * blocks.size();
    for (const Block& b : blocks) {
        c.U16(b.type).U16(b.subtype).U32(uint32_t(b.data.size())).U32(uint32_t(offset)).U32(0);
        offset += (b.data.size() + 3) & ~size_t(3);
    }
    for (const Block& b : blocks) {
        c.Raw(b.data);
        c.Zeros(((b.data.size() + 3) & ~size_t(3)) - b.data.size());
    }
    return c.b;
}

inline std::string EncodeLsbFirst(const std::vector<uint8_t>& data) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < data.size(); i += 3) {
        const size_t n = std::min<size_t>(3, data.size() - i);
        uint32_t v = 0;
        for (size_t k = 0; k < n; ++k) v |= uint32_t(data[i + k]) << (8 * k);
        for (size_t k = 0; k < 4; ++k) out += (k > n) ? '=' : kAlphabet[(v >> (6 * k)) & 63];
    }
    return out;
}

inline std::string FirmwareBlockText(const std::vector<uint8_t>& payload) {
    uLongf length = compressBound(uLong(payload.size()));
    std::vector<uint8_t> packed(4 + length);
    EXPECT_EQ(compress(packed.data() + 4, &length, payload.data(), uLong(payload.size())), Z_OK);
    packed.resize(4 + length);
    for (int i = 0; i < 4; ++i) packed[size_t(i)] = uint8_t(payload.size() >> (8 * i));
    return EncodeLsbFirst(packed);
}

// An XML-wrapped firmware file; attributes is the text placed in the FIRMWARE start tag.
inline std::string WrappedFirmware(const std::vector<uint8_t>& payload, const std::string& attributes = {},
                                   const std::string& extra = {}) {
    return "<?xml version=\"1.0\"?>\r\n<DEVICE>\r\n" + extra + "<FIRMWARE" + attributes + ">" +
           FirmwareBlockText(payload) + "</FIRMWARE>\r\n</DEVICE>\r\n";
}

class TempFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tunova_packages_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path Write(const std::string& name, const std::vector<uint8_t>& data) {
        std::filesystem::path p = dir_ / name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
        return p;
    }
    std::filesystem::path Write(const std::string& name, const std::string& text) {
        return Write(name, std::vector<uint8_t>(text.begin(), text.end()));
    }
    static std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
        std::ifstream f(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    }
    std::filesystem::path dir_;
};

}  // namespace package_test
