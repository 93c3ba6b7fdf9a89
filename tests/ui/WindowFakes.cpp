#include "WindowFakes.h"

#include <cstring>

namespace tarvex::test {

std::vector<uint8_t> tinyMod(const std::string& title, const std::string& sampleName) {
    std::vector<uint8_t> bytes(1084 + 1024 + 64, 0);
    std::memcpy(bytes.data(), title.data(), std::min<size_t>(title.size(), 20));
    uint8_t* sample = bytes.data() + 20;  // first of 31 sample headers
    std::memcpy(sample, sampleName.data(), std::min<size_t>(sampleName.size(), 22));
    sample[23] = 32;  // length in words
    sample[25] = 64;  // volume
    sample[29] = 1;   // loop length 1 word: no loop
    bytes[950] = 1;   // song length
    std::memcpy(bytes.data() + 1080, "M.K.", 4);
    uint8_t* cell = bytes.data() + 1084;  // row 0, channel 0: sample 1 at period 428
    cell[0] = 0x01;
    cell[1] = 0xAC;
    cell[2] = 0x10;
    for (int i = 0; i < 64; ++i) bytes[1084 + 1024 + size_t(i)] = uint8_t(i * 4);
    return bytes;
}

}  // namespace tarvex::test
