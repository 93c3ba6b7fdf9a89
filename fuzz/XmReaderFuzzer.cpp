// The XM reader on every input, straight from memory and through a file source read in windows
// (the dispatcher does not choose it yet). A load must end in a module that keeps the Module's
// rules and size limit, or in a clean refusal; both byte sources must give the same module.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "formats/XmReader.h"

namespace {

void fail(const std::string& problem) {
    std::fprintf(stderr, "broken rule: %s\n", problem.c_str());
    std::abort();
}

// The input as a file source, so that windowed reading meets the same bytes.
class MemorySource : public tarvex::ByteSource {
   public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int64_t size() const override { return static_cast<int64_t>(size_); }
    size_t readAt(int64_t offset, uint8_t* out, size_t count) override {
        if (offset < 0 || static_cast<size_t>(offset) >= size_) return 0;
        const size_t n = std::min(count, size_ - static_cast<size_t>(offset));
        if (n > 0) std::memcpy(out, data_ + offset, n);
        return n;
    }

   private:
    const uint8_t* data_;
    size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tarvex::Module module;
    int32_t result = -1;
    int32_t sizeDetail = 0;
    tarvex::ByteReader file(std::span<const uint8_t>(data, size));
    const bool loaded = tarvex::loadXm(file, module, result, sizeDetail, "XM");
    if (loaded) {
        if (result != tarvex::kResultOk && result != tarvex::kResultSizeMismatch &&
            result != tarvex::kResultCorrupt)
            fail("loaded with result " + std::to_string(result));
        if ((result == tarvex::kResultSizeMismatch) != (sizeDetail < 0))
            fail("size detail without a short file");
        const std::string problem = tarvex::checkLoadedModule(module, size);
        if (!problem.empty()) fail(problem);
        if (tarvex::resultMessage(result, sizeDetail).empty()) fail("no result message");
    } else if (result != tarvex::kResultUnsupported) {
        fail("refused with result " + std::to_string(result));
    } else if (tarvex::moduleFootprint(module) > sizeof(tarvex::Module)) {
        fail("a refused load left data in the module");
    }

    MemorySource source(data, size);
    tarvex::ByteReader windowed(source);
    tarvex::Module again;
    int32_t againResult = -1;
    int32_t againDetail = 0;
    if (tarvex::loadXm(windowed, again, againResult, againDetail, "XM") != loaded || againResult != result ||
        againDetail != sizeDetail || tarvex::moduleFootprint(again) != tarvex::moduleFootprint(module))
        fail("a file source gives another module");
    return 0;
}
