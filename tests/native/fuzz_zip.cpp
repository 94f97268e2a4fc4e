// libFuzzer target: any byte string goes through the whole reader, and every
// entry that passes the directory checks is extracted into a counting sink.
#include <cstddef>
#include <cstdint>

#include "zip/ZipReader.h"

namespace {

class NullSink : public zipread::ByteSink {
public:
    bool Write(const void*, size_t n) override {
        total += n;
        return true;
    }
    uint64_t total = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zipread::MemorySource src(data, size);
    zipread::Reader reader;
    if (!reader.Open(src).ok()) return 0;
    for (const auto& e : reader.Entries()) {
        NullSink sink;
        const zipread::Status s = reader.Extract(e, sink);
        // What passed must be exactly what the directory declared.
        if (s.ok() && !e.isDirectory && sink.total != e.uncompressedSize) __builtin_trap();
        if (sink.total > e.uncompressedSize) __builtin_trap();
    }
    return 0;
}
