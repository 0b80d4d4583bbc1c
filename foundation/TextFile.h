#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/TextFileReader.h"
#include "foundation/TextFileWriter.h"
#include "platform/File.h"

namespace platform {
class AtomicFileWriter;
}

namespace foundation {

// File encodings (the low byte of an XML document's encoding field).
enum TextEncoding : int32_t {
    kTextEncodingDetect = 0,
    kTextEncodingAnsi = 1,  // Windows-1252 on disk
    kTextEncodingUtf16Le = 2,
    kTextEncodingUtf16Be = 3,
    kTextEncodingUtf8 = 4,
};

// Option flags (bits above the encoding byte).
constexpr int32_t kTextFileRawLineEnds = 0x100;  // write LF as it is (no CR LF expansion)
constexpr int32_t kTextFileKeepBom = 0x200;      // do not skip the byte-order mark of a given encoding

// One open text file in one of four encodings; text in memory is UTF-8 (code page 0) or
// Windows-1252 bytes (code page 1252). Usage: OpenForReading/OpenForWriting, set encoding and
// flags, CreateReader/CreateWriter, read through Reader() or Write(), Close().
// Writing goes to a temporary file in the same folder that Close renames over the target, so a
// failed write leaves the old file whole.
class TextFile {
  public:
    enum Mode { kClosed = 0, kReading = 1, kWriting = 2 };

    TextFile();
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    // 0, or -2 with Error() set.
    int OpenForReading(const std::filesystem::path& file);
    int OpenForWriting(const std::filesystem::path& file);

    void SetEncoding(int32_t encoding) { encoding_ = encoding; }
    int32_t Encoding() const { return encoding_; }
    void SetFlags(int32_t flags) { flags_ = flags; }
    int32_t Flags() const { return flags_; }
    void SetBufferSize(size_t bytes) { bufferSize_ = bytes; }
    void SetCodePage(int codePage) { codePage_ = codePage; }
    void SetDefaultChar(std::optional<std::string> defaultChar) { defaultChar_ = std::move(defaultChar); }
    void SetByteOrderMarkPending(bool pending) { bomPending_ = pending; }
    Mode GetMode() const { return mode_; }
    const std::string& Error() const { return error_; }

    // 0, or -2 when the detection read fails. With encoding 0 the detected one replaces it; a
    // byte-order mark replaces a given encoding too (unless kTextFileKeepBom) and is skipped.
    int CreateReader();
    // Makes the writer for encodings 1 to 4; 0, or -2 for another encoding.
    int CreateWriter();
    TextFileReader* Reader() { return reader_.get(); }
    TextFileWriter* Writer() { return writer_.get(); }

    // Writes the text (LF becomes CR LF unless kTextFileRawLineEnds): 0 or -2.
    int Write(std::string_view text);
    // Reads the whole rest of the file into out through the reader: length read or a negative code.
    int ReadAll(std::string& out, bool* usedDefault = nullptr);
    int ReadLine(std::string& out, bool* usedDefault = nullptr);
    // Reading, in place of CreateReader and ReadAll: the whole file with one read, its encoding
    // chosen as CreateReader does (a detected one replaces 0) and decoded in one pass. The text
    // stays valid until the next call or Close. 0, -1 for an empty text, -2 on a read error.
    int ReadWholeText(std::string_view& text);

    // Writing: flushes and renames over the target (-2 when anything failed; then nothing is
    // replaced). A second call is harmless.
    int Close();
    // Writing: drops the temporary file and leaves the target untouched.
    void Abort();

  private:
    int ReadByte(unsigned char& byte);
    const char* DefaultChar() const { return defaultChar_ ? defaultChar_->c_str() : nullptr; }

    std::filesystem::path name_;
    Mode mode_ = kClosed;
    int32_t encoding_ = kTextEncodingDetect;
    int32_t flags_ = 0;
    size_t bufferSize_ = 0;
    platform::File file_;
    std::unique_ptr<platform::AtomicFileWriter> out_;
    bool writeFailed_ = false;
    std::unique_ptr<TextFileReader> reader_;
    std::unique_ptr<TextFileWriter> writer_;
    bool bomPending_ = false;
    int codePage_ = 0;
    std::optional<std::string> defaultChar_;
    std::string error_;
    std::unique_ptr<char[]> wholeBytes_;  // ReadWholeText: the file's bytes or their UTF-8 form
    std::string wholeText_;               // ReadWholeText: text that needed a conversion
};

}  // namespace foundation
