#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace platform {

enum class FileAccess {
    kRead,             // an existing file, read only
    kWrite,            // created or emptied, rw-r--r-- before the umask
    kWriteSynced,      // as kWrite, and every write is on the disk when it returns
    kWriteNewPrivate,  // created for its owner alone; refused when the name exists, even as a link
};

// An open file descriptor, closed with its owner. Reads and writes restart after signals, and
// ReadAll / WriteAll carry on after short transfers. Failures return false or -1 and keep the
// errno value in LastError().
class File {
  public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    // 0, or the errno value (and nothing is open).
    int Open(const std::filesystem::path& path, FileAccess access);
    // Takes over a descriptor opened elsewhere; Close closes it.
    void Adopt(int fd);
    // Uses a descriptor that stays its caller's: Close only lets go of it.
    void Borrow(int fd);
    // False when closing an owned descriptor failed (written data may be lost).
    bool Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }

    // What one read gives, at most size bytes: the count, 0 at the end of the file, -1.
    int64_t ReadSome(void* buffer, size_t size);
    // Reads until size bytes are in or the file ends: the count, or -1.
    int64_t ReadAll(void* buffer, size_t size);
    bool WriteAll(const void* data, size_t size);
    bool WriteAll(std::string_view text) { return WriteAll(text.data(), text.size()); }
    // Moves the position to offset bytes from the start.
    bool Seek(uint64_t offset);
    // The size in bytes, or -1.
    int64_t Size();

    int LastError() const { return lastError_; }

  private:
    bool Fail(int error);
    int64_t FailCount(int error);

    int fd_ = -1;
    bool owned_ = false;
    int lastError_ = 0;
};

struct FileInfo {
    uint64_t size = 0;
    int64_t modifiedSeconds = 0;       // since 1970-01-01 UTC
    uint32_t modifiedNanoseconds = 0;  // within that second
    bool isFolder = false;
};

// What the path finally names (links followed): 0, or the errno value.
int ReadFileInfo(const std::filesystem::path& path, FileInfo& info);
// One folder, rwxrwxrwx before the umask; its parent must exist. 0, or the errno value
// (EEXIST when anything of that name is there).
int MakeFolder(const std::filesystem::path& path);
// True when the path names a folder or a link to one.
bool IsFolder(const std::filesystem::path& path);
// Removes a file or a link (never a folder): 0, or the errno value.
int RemoveFile(const std::filesystem::path& path);

}  // namespace platform
