#pragma once
// Portable ZIP reader on zlib. It checks the whole archive structure before
// anything is extracted and streams single entries with bounded memory.
// Platform code supplies the byte source and the sinks; nothing here knows
// about files or folders.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zipread {

// Why an archive or an entry was refused. The numbers are stable: the
// Windows component maps them to its German messages.
enum class Fault : int {
    None = 0,
    ReadError,      // the source could not be read
    NotAnArchive,   // no end-of-central-directory record at all
    Damaged,        // the structure contradicts itself
    Overlap,        // byte spans overlap or point outside the file
    UnsafeName,     // path that could leave the target folder or is no valid Windows name
    Symlink,        // symbolic link entry
    Duplicate,      // the same path twice, or a file that is also a folder
    Encrypted,
    Method,         // compression other than stored and deflate
    Crc,            // data does not match its CRC-32
    Size,           // data shorter than declared
    TooLong,        // data inflates beyond its declared size
    WriteError,     // the sink gave up
};

struct Status {
    Fault fault = Fault::None;
    std::u16string entry;  // the entry concerned, when there is one
    std::string why;       // short technical reason for diagnostics
    bool ok() const { return fault == Fault::None; }
};

struct Entry {
    std::string rawName;    // bytes as stored in the central directory
    std::u16string name;    // decoded; backslashes turned into '/'
    bool isDirectory = false;
    uint16_t versionMadeBy = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc = 0;
    uint32_t externalAttr = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint64_t localOffset = 0;
    uint64_t dataOffset = 0;  // first byte of the entry's data
    bool hasUnixTime = false;  // extended timestamp field (UTC) present
    int64_t unixTime = 0;
};

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly n bytes starting at offset; false when that is not possible.
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t n) = 0;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Write(const void* data, size_t n) = 0;
};

// A source over bytes already in memory (tests, fuzzing).
class MemorySource : public ByteSource {
public:
    MemorySource(const void* data, size_t size) : data_(static_cast<const unsigned char*>(data)), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t n) override;

private:
    const unsigned char* data_;
    size_t size_;
};

class Reader {
public:
    static constexpr size_t kBufferSize = 64 * 1024;

    Reader();
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Reads and checks the whole directory: end records, every central
    // record, every local header and the byte spans of all of them, and
    // every name. On a fault the entry list stays empty.
    Status Open(ByteSource& source);
    const std::vector<Entry>& Entries() const { return entries_; }
    // Streams one entry's data into the sink, checking size and CRC-32. It
    // stops as soon as the data grows past the declared size.
    Status Extract(const Entry& entry, ByteSink& sink);

private:
    struct Inflater;
    Status Copy(const Entry& entry, ByteSink& sink);
    Status Inflate(const Entry& entry, ByteSink& sink);

    ByteSource* source_ = nullptr;
    std::vector<Entry> entries_;
    std::vector<unsigned char> in_, out_;
    std::unique_ptr<Inflater> inflater_;
};

// Name decoding, also used by the tests.
std::u16string DecodeCp850(const std::string& raw);
// False when the bytes are no well-formed UTF-8 (overlong forms, surrogates
// and code points past U+10FFFF included).
bool DecodeUtf8(const std::string& raw, std::u16string* out);
// The name as NTFS compares it: each UTF-16 code unit through its simple
// uppercase mapping, so two names that fold alike land on one file.
std::u16string UpcaseName(std::u16string name);
// True when a path part names a device ("CON", "nul.txt", "com1 .log"):
// Windows looks only at the part before the first dot, without its trailing
// blanks, in any case.
bool IsDeviceName(const std::u16string& segment);
// The reason why a decoded name must not be extracted, or nullptr when it is
// safe. Backslashes count as separators.
const char* UnsafeNameReason(const std::u16string& name);

}  // namespace zipread
