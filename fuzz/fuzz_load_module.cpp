// Feeds arbitrary bytes to the readers: the first byte picks the extension, the rest is the file.
// Checks the promises of bad-input handling: no crash, and no Module much larger than its file.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "model/Loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static constexpr const char* kExtensions[] = {"MOD", "WOW", "S3M", "STM"};
    const char* extension = kExtensions[data[0] % 4];
    const std::span<const uint8_t> file(data + 1, size - 1);
    tarvex::Module module;
    tarvex::loadModuleBytes(file, extension, module);
    if (tarvex::moduleFootprint(module) > 64 * file.size() + (1u << 20)) std::abort();
    return 0;
}
