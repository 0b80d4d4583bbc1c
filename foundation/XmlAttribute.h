#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace foundation {

// One attribute of an element; the value is held unescaped.
class CXmlAttribute {
  public:
    CXmlAttribute() = default;
    CXmlAttribute(std::string_view name, std::string_view value) : name_(name), value_(value) {}
    virtual ~CXmlAttribute() = default;
    static void* operator new(size_t size);
    static void operator delete(void* block, size_t size);

    const std::string& Name() const { return name_; }
    const std::string& Value() const { return value_; }
    void SetName(std::string_view name) { name_.assign(name.data(), name.size()); }
    void SetValue(std::string_view value) { value_.assign(value.data(), value.size()); }
    std::string& MutableValue() { return value_; }

    // Decimal (leading white space and sign allowed); only when that gives 0 and the value starts
    // exactly with "0x", hexadecimal (the 32 bits kept as a signed value).
    int32_t GetIntValue() const;
    // True for "YES", "TRUE" or "1" in any letter case.
    bool GetBoolValue() const;

  private:
    std::string name_;
    std::string value_;
};

}  // namespace foundation
