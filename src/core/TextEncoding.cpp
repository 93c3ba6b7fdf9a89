#include "core/TextEncoding.h"

#include <cstdint>

namespace tarvex {

namespace {

void appendLatin1(std::string& out, unsigned char byte) {
    if (byte < 0x80) {
        out.push_back(char(byte));
    } else {
        out.push_back(char(0xC0 | (byte >> 6)));
        out.push_back(char(0x80 | (byte & 0x3F)));
    }
}

// The length of the well-formed UTF-8 sequence at the start of text, or 0 if there is none:
// no overlong forms, no surrogates, nothing above U+10FFFF.
size_t utf8SequenceLength(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong below U+10000
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

}  // namespace

std::string latin1ToUtf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (char c : latin1) appendLatin1(out, static_cast<unsigned char>(c));
    return out;
}

namespace {

// Copies the valid UTF-8 sequences of bytes and hands each byte that starts none to invalid.
template <typename Invalid>
std::string keepValidUtf8(std::string_view bytes, Invalid invalid) {
    std::string out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        const size_t length = utf8SequenceLength(bytes.substr(i));
        if (length == 0) {
            invalid(out, static_cast<unsigned char>(bytes[i]));
            ++i;
        } else {
            out.append(bytes.substr(i, length));
            i += length;
        }
    }
    return out;
}

}  // namespace

std::string fileNameToUtf8(std::string_view bytes) {
    return keepValidUtf8(bytes, [](std::string& out, unsigned char c) { appendLatin1(out, c); });
}

bool isValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = utf8SequenceLength(text.substr(i));
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string replaceInvalidUtf8(std::string_view bytes) {
    return keepValidUtf8(bytes, [](std::string& out, unsigned char) { out += "\xEF\xBF\xBD"; });  // U+FFFD
}

}  // namespace tarvex
