// Reader of the MOD family: 31-sample files with a four-character signature at offset 1080
// (ProTracker, NoiseTracker, StarTrekker, FastTracker, TakeTracker, Oktalyzer, Octalyser, Digital
// Tracker, His Master's Noise, Grave Composer and unknown "xxCH" trackers) and the older 15-sample
// files without one. Extensions "MOD", "NST" and "WOW". Digital Tracker files ("FA04", "FA06",
// "FA08") carry four more bytes after the signature, so their patterns start at 1088.
//
// The reader reports rather than refuses: a song length above 128 is clamped (code 4), and a file
// whose size does not match header + patterns + samples loads with code 1 and the difference in
// sizeDetail, the pattern count then taken from the order list. Worked example: an "M.K." file of
// 1084 + 2 * 1024 + 200 bytes whose samples hold 200 bytes has 2 patterns, code 0; cut 100 bytes
// short it reads sizeDetail -100, patternCount = highest order + 2, and takes the samples from the
// last 200 bytes of the file.
//
// The only refusal (code 2): a "xxCH"/"xxCN" signature whose digits give fewer than one channel.
#pragma once

#include <cstdint>
#include <string_view>

#include "model/ByteReader.h"
#include "model/Module.h"

namespace tarvex {

// True when the four bytes at 1080 are a signature of the table (a 31-sample file the reader
// accepts); the dispatcher's test for files whose name does not say what they are.
bool hasModSignature(ByteReader& file);

bool loadMod(ByteReader& file, Module& module, int32_t& result, int32_t& sizeDetail,
             std::string_view extension);

}  // namespace tarvex
