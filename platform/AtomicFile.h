#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// Writes a file so that readers see either the old or the whole new content: data
// goes to a temporary file in the same folder, which Commit flushes and renames
// over the target. Without Commit the temporary file is removed. A target that is
// a symbolic link is written through: the file it finally names is replaced and
// the link stays. A read-only target is refused by Open and stays as it is.
class AtomicFileWriter {
  public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool Open(const std::filesystem::path& path);
    bool Write(const void* data, size_t size);
    bool Write(std::string_view text) { return Write(text.data(), text.size()); }
    // fsync + rename; false (old file intact) on failure.
    bool Commit();
    void Abort();
    bool IsOpen() const { return fd_ >= 0; }
    // Text of the last failure ("<what> <file>: <system text>").
    const std::string& Error() const { return error_; }
    // errno of the last failure (0 when none).
    int ErrorCode() const { return code_; }

  private:
    bool Fail(const std::string& what, const std::filesystem::path& file, int code);

    int fd_ = -1;
    std::filesystem::path target_;
    std::filesystem::path temp_;
    std::string error_;
    int code_ = 0;
};

bool WriteFileAtomic(const std::filesystem::path& path, std::string_view data, std::string* error);
// Reads the whole file; false with a text in error when it cannot.
bool ReadWholeFile(const std::filesystem::path& path, std::string* data, std::string* error);

}  // namespace platform
