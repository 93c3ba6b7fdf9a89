#include "core/TextEncoding.h"

namespace tarvex {

std::string latin1ToUtf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (char c : latin1) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(char(0xC0 | (byte >> 6)));
            out.push_back(char(0x80 | (byte & 0x3F)));
        }
    }
    return out;
}

}  // namespace tarvex
