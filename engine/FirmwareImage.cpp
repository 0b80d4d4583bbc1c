#include "engine/FirmwareImage.h"

#include <fstream>
#include <iterator>

namespace engine {

namespace {
// A firmware image larger than this is no image of a drive.
constexpr uint64_t kMaxImage = 64ull * 1024 * 1024;
}  // namespace

std::string CFirmwareImage::ReadFirmwareInfo(const std::string& fileName, uint32_t offset, int) {
    Free();
    std::ifstream in(fileName, std::ios::binary | std::ios::ate);
    if (!in) return "error opening file " + fileName;
    const auto length = static_cast<uint64_t>(in.tellg());
    if (length <= offset) return "empty firmware file " + fileName;
    if (length - offset > kMaxImage) return "firmware file too large " + fileName;
    in.seekg(offset);
    std::vector<uint8_t> image(static_cast<size_t>(length - offset));
    if (!in.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size())))
        return "error reading file " + fileName;
    image_ = std::move(image);
    return {};
}

int CFirmwareImage::GetTimeouts(uint32_t* first, uint32_t* segment, uint32_t* last, uint32_t* restart) const {
    uint32_t* out[4] = {first, segment, last, restart};
    for (int i = 0; i < 4; ++i)
        if (out[i]) *out[i] = hasTimeouts_ ? timeouts_[i] : 0;
    return hasTimeouts_ ? 0 : -1;
}

void CFirmwareImage::SetTimeouts(uint32_t first, uint32_t segment, uint32_t last, uint32_t restart) {
    timeouts_[0] = first;
    timeouts_[1] = segment;
    timeouts_[2] = last;
    timeouts_[3] = restart;
    hasTimeouts_ = true;
}

void CFirmwareImage::Free() {
    image_.clear();
    image_.shrink_to_fit();
}

}  // namespace engine
