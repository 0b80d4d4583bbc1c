#pragma once

#include <cstdint>
#include <string>

namespace drive {

// One listed parameter of a parameter file.
struct ParamFileItem {
    std::string name;
    std::string title;
    std::string valueText;
    int32_t restore = 0;
    uint32_t size = 0;
    uint16_t writeLevel = 0;
    uint16_t modbusAddress = 0;
    std::string busAddress;
    bool isSigned = false;
    bool valueRead = false;
};

}  // namespace drive
