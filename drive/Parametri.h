#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "drive/ParamCell.h"
#include "drive/ParamData.h"

namespace drive {

// One configured variable of the drive description.
class Cvariables {
  public:
    std::string title;  // the program's key
    std::string name;   // the drive variable
    std::string unit;
    double factor = 1.0;
    CParamDw cell;
    int32_t pageValue1 = 0;
    int32_t pageValue2 = -1;
    int32_t decimals = 0;
};

// One selectable function of an I/O.
class Cio_ListElement {
  public:
    virtual ~Cio_ListElement() = default;

    uint32_t userWord = 0;
    std::string hardwareName;
    std::string statusText;
    uint32_t mode = 0;  // 0 input, 1 output, 2 other
    std::string name;
    uint32_t functionCode = 0;
    std::string correlatedName;
    int32_t correlatedAddress = -1;
    std::string unit;
    double displayMax = 0.0;  // display maximum or scale
    int32_t deviceMin = 0;
    int32_t deviceMax = 0;
    std::string displayMin;
    uint8_t reservedOutput = 0;
    uint8_t exclusive = 0;
    uint8_t active = 0;
    uint8_t debounceAllowed = 0;
    uint8_t resistance = 0;
    int32_t lowestHardwareIndex = 0;
};

// One I/O of the drive description with its selectable functions.
class Cio_List {
  public:
    virtual ~Cio_List() = default;

    uint32_t cleared = 0;
    int32_t address = -1;
    int32_t position = 0;
    uint32_t genericCode = 0;
    int32_t lowestHardwareIndex = 0;
    uint32_t analog = 0;
    uint32_t mode = 0;  // 0 input, 1 output, 2 other
    std::string vocabularyName;
    std::string hardwareName;
    std::vector<std::unique_ptr<Cio_ListElement>> elements;
    CParamDw state;
    uint8_t readOnly = 0;
};

class Cerrors {};

// The drive object's cache of drive values: the fixed groups in two sets, and what the drive
// description configures (variables and I/O lists).
class CParametri {
  public:
    CParametri();
    CParametri(const CParametri&) = delete;
    CParametri& operator=(const CParametri&) = delete;
    virtual ~CParametri();

    // Drops the I/O lists (with their elements) and the configured variables; the two value sets
    // and the texts stay.
    void Clear();

    Cerrors errors;
    std::vector<std::unique_ptr<Cio_List>> ioLists;
    std::vector<std::string> texts1, texts2, texts3, texts4;
    std::string text1, text2;
    std::vector<std::unique_ptr<Cvariables>> variables;
    // Values read from the drive, and a second set of the same layout for the pages.
    std::unique_ptr<CParamData> data;
    std::unique_ptr<CParamData> data2;
    int32_t index = -1;
    std::string text3;
};

// The description of one row group of a parameter grid; the grid windows fill and own them.
class CGridParams {
  public:
    virtual ~CGridParams() = default;

    std::string caption;
    std::string captionKey;
    int32_t firstRow = 0;
    int32_t rowCount = 0;
    std::string name;
    std::string nameKey;
    int32_t flags = 0;
    std::vector<std::string> items;
};

}  // namespace drive
