#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace engine {

// What the engine's firmware threads need of a firmware file: the image to write and the
// transfer time-outs. Read here as a plain file, or filled from the packages layer's
// container (`CFirmwareContainer::FillImage`), which knows the container formats.
class CFirmwareImage {
  public:
    // Loads the file's bytes from offset on as the image; an empty text on success.
    std::string ReadFirmwareInfo(const std::string& fileName, uint32_t offset, int flag);
    // 0 with the container's time-outs, -1 with all four 0 when it has none.
    int GetTimeouts(uint32_t* first, uint32_t* segment, uint32_t* last, uint32_t* restart) const;
    void SetTimeouts(uint32_t first, uint32_t segment, uint32_t last, uint32_t restart);
    void SetImage(const uint8_t* data, size_t size) { image_.assign(data, data + size); }
    void Free();

    const uint8_t* Data() const { return image_.data(); }
    uint32_t Size() const { return static_cast<uint32_t>(image_.size()); }
    bool HasImage() const { return !image_.empty(); }

  private:
    std::vector<uint8_t> image_;
    bool hasTimeouts_ = false;
    uint32_t timeouts_[4] = {};
};

}  // namespace engine
