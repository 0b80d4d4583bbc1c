#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include "drive/ParamCell.h"

namespace drive {

// A fixed group of 32-bit cells that the pages address by position.
template <size_t N>
class CParamGroup {
  public:
    static constexpr size_t kCellCount = N;

    virtual ~CParamGroup() = default;

    // Positions outside the group give null rather than a stray cell.
    CParamDw* Cell(size_t index) { return index < N ? &cells[index] : nullptr; }
    const CParamDw* Cell(size_t index) const { return index < N ? &cells[index] : nullptr; }

    std::array<CParamDw, N> cells;
};

class CParamManufacturerData : public CParamGroup<39> {};
class CParamAutoCalibration : public CParamGroup<76> {};
class CParamStepperMotor : public CParamGroup<46> {};
class CParamOscilloscope : public CParamGroup<13> {};
class CParamDeviceProfile : public CParamGroup<12> {};
class CParamMovement : public CParamGroup<61> {};
class CParamDiagnostic : public CParamGroup<13> {};
class CParamSettings : public CParamGroup<19> {};
// 25 value cells and one text cell after them.
class CParamProgram : public CParamGroup<25> {
  public:
    CParamChar text;
};
class CParamDebugItems : public CParamGroup<26> {};
class CParamVkrTest : public CParamGroup<15> {};
class CParamZimba : public CParamGroup<5> {};

// One instance of each fixed group. Members are declared in the groups' order, so that they are
// destroyed in reverse order.
class CParamData {
  public:
    CParamData() = default;
    CParamData(const CParamData&) = delete;
    CParamData& operator=(const CParamData&) = delete;
    virtual ~CParamData() = default;

    CParamManufacturerData manufacturerData;
    CParamAutoCalibration autoCalibration;
    CParamStepperMotor stepperMotor;
    CParamOscilloscope oscilloscope;
    CParamDeviceProfile deviceProfile;
    CParamMovement movement;
    CParamDiagnostic diagnostic;
    CParamSettings settings;
    CParamProgram program;
    CParamDebugItems debugItems;
    CParamVkrTest vkrTest;
    CParamZimba zimba;

    // ---- cells addressed by the drive variable's name ----
    // The cell of a variable, made (not read) on first use; its address stays while the set lives.
    CParamDw& Named(const std::string& name) { return named_[name]; }
    const CParamDw* FindNamed(const std::string& name) const {
        const auto it = named_.find(name);
        return it == named_.end() ? nullptr : &it->second;
    }

  private:
    std::map<std::string, CParamDw> named_;
};

}  // namespace drive
