// The files `render` writes: RIFF/WAVE, FLAC (through libFLAC) or raw PCM, all from the interleaved
// little-endian PCM the mixer produces (8-bit unsigned, 16- or 24-bit signed).
//
// A writer is begun on a stream, fed the PCM block by block and finished with the number of frames
// written. On a stream that can be rewound (a file) WAV fixes its header and FLAC its STREAMINFO
// (length, MD5) at the end; on one that cannot (standard output) both need the length up front,
// which `render` learns from a first, silent pass. Raw PCM needs neither.
// FLAC carries the module title (TITLE) and "Tarvex" (ENCODER) as tags; decoding it gives exactly
// the PCM of the WAV file of the same options, 8-bit data included.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "audio/WavFile.h"

namespace tarvex::cli {

enum class OutputFormat { wav, flac, raw };

// Whether this build can write the format (FLAC needs libFLAC, which not every build has).
bool formatAvailable(OutputFormat format);
// "wav", "flac" or "raw".
bool parseOutputFormat(std::string_view text, OutputFormat& format);
// The format an output name asks for: ".flac" FLAC, ".raw" or ".pcm" raw PCM, anything else WAV
// (the extension compared in any case).
OutputFormat formatForFileName(std::string_view name);
// ".wav", ".flac" or ".raw": what the default output name gets appended.
std::string_view fileExtension(OutputFormat format);
// Whether a stream that cannot be rewound needs the frame count before begin().
bool needsLengthUpFront(OutputFormat format);
// The most frames one file of the format can hold at the given frame size.
uint64_t maxFramesFor(OutputFormat format, const PcmFormat& pcm);

class PcmWriter {
   public:
    virtual ~PcmWriter() = default;
    // seekable: the stream can be rewound at the end; knownFrames: the length when it cannot.
    virtual bool begin(std::ostream& out, bool seekable, uint64_t knownFrames) = 0;
    virtual bool write(const uint8_t* bytes, size_t count) = 0;
    // frames: the frames written in all.
    virtual bool finish(uint64_t frames) = 0;
};

std::unique_ptr<PcmWriter> makePcmWriter(OutputFormat format, const PcmFormat& pcm, std::string titleUtf8);

}  // namespace tarvex::cli
