#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace foundation {
class CXmlNode;
}  // namespace foundation

namespace drive {

// The steps of an axis: values with their labels (the display appends the unit).
class CGraphScale {
  public:
    // Fills the scale from a "Scale" element: "count" pairs of value,label in its text. Gives
    // the number of pairs read; a malformed pair ends the reading.
    size_t ReadXml(const foundation::CXmlNode& node);
    void Clear();

    std::vector<double> values;
    std::vector<std::string> labels;
};

// The values of a trace.
class CGraphValues {
  public:
    virtual ~CGraphValues() = default;
    virtual void Empty() = 0;
    virtual size_t Count() const = 0;
    virtual double At(size_t index) const = 0;
};

// Values held one by one (a channel's converted samples).
class CGraphValuesList : public CGraphValues {
  public:
    void Empty() override { values.clear(); }
    size_t Count() const override { return values.size(); }
    double At(size_t index) const override { return index < values.size() ? values[index] : 0.0; }

    std::vector<double> values;
};

// Evenly spaced values (the time axis): first + index x step.
class CGraphValuesLinear : public CGraphValues {
  public:
    void Empty() override { count = 0; }
    size_t Count() const override { return count; }
    double At(size_t index) const override { return first + static_cast<double>(index) * step; }

    size_t count = 0;
    double first = 0.0;
    double step = 0.0;
};

// One trace of the oscilloscope: the time axis or a capture channel.
class CGraphTrace {
  public:
    CGraphTrace(int32_t id, std::unique_ptr<CGraphValues> values) : id(id), values_(std::move(values)) {}
    virtual ~CGraphTrace() = default;
    CGraphTrace(const CGraphTrace&) = delete;
    CGraphTrace& operator=(const CGraphTrace&) = delete;

    CGraphValues& Values() { return *values_; }
    const CGraphValues& Values() const { return *values_; }

    int32_t id = 0;
    std::string name;
    std::string unit;
    CGraphScale scale;

  private:
    std::unique_ptr<CGraphValues> values_;
};

}  // namespace drive
