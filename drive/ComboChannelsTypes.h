#pragma once

#include <cstdint>
#include <string>

namespace foundation {
class CXmlNode;
}  // namespace foundation

namespace drive {

// One selectable oscilloscope variable.
class ComboChannelsTypes {
  public:
    virtual ~ComboChannelsTypes() = default;

    void ReadXml(const foundation::CXmlNode& node);
    // The same from lower-case attribute names.
    void ReadLowerXml(const foundation::CXmlNode& node);

    std::string title;
    std::string name;
    std::string unitKey;  // "ua"
    double factor = 1.0;
    int32_t polarity = 0;
    int32_t code = 0;
    int32_t decimals = 0;
    bool isFloat = false;  // samples are 32-bit floats, else integers
};

}  // namespace drive
