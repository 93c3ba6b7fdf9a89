// tarvex-cli render to FLAC and raw PCM: decoding the FLAC file (with libFLAC) gives the WAV file's
// PCM at every width and channel count, tags included; raw PCM is the WAV data without a header,
// to a file or standard output; the format follows --format or the output name.
#include <FLAC/metadata.h>
#include <FLAC/stream_decoder.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "CommandRun.h"
#include "cli/Commands.h"
#include "support/Corpus.h"
#include "support/ModWriter.h"

namespace tarvex {
namespace {

test::CommandRun render(const cli::CommandArgs& args) {
    return test::run(cli::renderCommand, args);
}

// A looped sample over both halves of the stereo field, so that L and R differ.
std::string writeSong(const std::string& name) {
    test::ModWriter mod = test::ModWriter::withSignature("M.K.");
    mod.title = "flac \xE9t\xE9";  // Latin-1: "flac été"
    mod.samples[0].data.resize(512);
    for (size_t i = 0; i < 512; ++i) mod.samples[0].data[i] = static_cast<int8_t>((i % 64) * 4 - 128);
    mod.samples[0].loopLengthWords = 256;
    mod.setCell(0, 0, 0, 1, 428, 0, 0);
    mod.setCell(0, 8, 1, 1, 214, 0, 0);
    return test::writeTempFile(name, mod.bytes()).string();
}

struct Decoded {
    uint32_t rate = 0, channels = 0, bits = 0;
    uint64_t totalFrames = 0;
    std::vector<uint8_t> pcm;  // little-endian, 8-bit unsigned, as a WAV file holds it
    bool ok = false;
};

FLAC__StreamDecoderWriteStatus onFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                       const FLAC__int32* const buffer[], void* self) {
    Decoded& d = *static_cast<Decoded*>(self);
    for (uint32_t i = 0; i < frame->header.blocksize; ++i) {
        for (uint32_t c = 0; c < frame->header.channels; ++c) {
            const int32_t v = buffer[c][i];
            if (d.bits == 8) {
                d.pcm.push_back(static_cast<uint8_t>(v + 128));
            } else {
                for (uint32_t b = 0; b < d.bits / 8; ++b) d.pcm.push_back(static_cast<uint8_t>(v >> (8 * b)));
            }
        }
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void onMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* m, void* self) {
    Decoded& d = *static_cast<Decoded*>(self);
    if (m->type != FLAC__METADATA_TYPE_STREAMINFO) return;
    d.rate = m->data.stream_info.sample_rate;
    d.channels = m->data.stream_info.channels;
    d.bits = m->data.stream_info.bits_per_sample;
    d.totalFrames = m->data.stream_info.total_samples;
}

void onError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* self) {
    static_cast<Decoded*>(self)->ok = false;
}

Decoded decodeFlac(const std::string& path) {
    Decoded d;
    FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
    FLAC__stream_decoder_set_md5_checking(decoder, true);  // a wrong MD5 fails finish()
    if (FLAC__stream_decoder_init_file(decoder, path.c_str(), onFrame, onMetadata, onError, &d) ==
        FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        d.ok = true;
        d.ok = FLAC__stream_decoder_process_until_end_of_stream(decoder) && d.ok;
        d.ok = FLAC__stream_decoder_finish(decoder) && d.ok;
    }
    FLAC__stream_decoder_delete(decoder);
    return d;
}

std::vector<std::string> tagsOf(const std::string& path) {
    std::vector<std::string> tags;
    FLAC__StreamMetadata* comments = nullptr;
    if (!FLAC__metadata_get_tags(path.c_str(), &comments)) return tags;
    for (uint32_t i = 0; i < comments->data.vorbis_comment.num_comments; ++i) {
        const FLAC__StreamMetadata_VorbisComment_Entry& e = comments->data.vorbis_comment.comments[i];
        tags.emplace_back(reinterpret_cast<const char*>(e.entry), e.length);
    }
    FLAC__metadata_object_delete(comments);
    return tags;
}

std::vector<uint8_t> wavData(const std::vector<uint8_t>& wav) {
    return wav.size() > 44 ? std::vector<uint8_t>(wav.begin() + 44, wav.end()) : std::vector<uint8_t>{};
}

TEST(RenderFormats, FlacDecodesToTheWavPcmWithTitleAndEncoderTags) {
    const std::string song = writeSong("flac.mod");
    const std::filesystem::path dir = std::filesystem::path(song).parent_path();
    for (const char* bits : {"8", "16", "24"}) {
        for (const char* channels : {"1", "2"}) {
            const std::string wavPath = (dir / "f.wav").string();
            const std::string flacPath = (dir / "f.flac").string();
            const cli::CommandArgs common = {"--bits", bits, "--channels", channels, "--rate", "22050", song};
            cli::CommandArgs args = common;
            args.insert(args.end(), {"-o", wavPath});
            ASSERT_EQ(render(args).status, 0);
            args = common;
            args.insert(args.end(), {"-o", flacPath});  // the name asks for FLAC
            const test::CommandRun run = render(args);
            ASSERT_EQ(run.status, 0) << run.err;
            const std::vector<uint8_t> pcm = wavData(test::readFileBytes(wavPath));
            const Decoded flac = decodeFlac(flacPath);
            EXPECT_TRUE(flac.ok) << bits << " bits, " << channels;
            EXPECT_EQ(flac.bits, static_cast<uint32_t>(std::stoul(bits)));
            EXPECT_EQ(flac.channels, static_cast<uint32_t>(std::stoul(channels)));
            EXPECT_EQ(flac.rate, 22050u);
            EXPECT_EQ(flac.totalFrames * flac.bits / 8 * flac.channels, pcm.size() - (pcm.size() & 1));
            EXPECT_TRUE(flac.pcm == std::vector<uint8_t>(pcm.begin(), pcm.begin() + flac.pcm.size()))
                << bits << " bits, " << channels << " channels";
            EXPECT_EQ(flac.pcm.size() + (pcm.size() & 1), pcm.size());  // only the WAV pad byte differs
            EXPECT_EQ(tagsOf(flacPath),
                      (std::vector<std::string>{"TITLE=flac \xC3\xA9t\xC3\xA9", "ENCODER=Tarvex"}));
        }
    }
}

TEST(RenderFormats, StandardOutputRawAndTheChoiceOfFormat) {
    const std::string song = writeSong("formats.mod");
    const std::filesystem::path dir = std::filesystem::path(song).parent_path();
    const std::string wavPath = (dir / "w.wav").string();
    ASSERT_EQ(render({song, "-o", wavPath}).status, 0);
    const std::vector<uint8_t> pcm = wavData(test::readFileBytes(wavPath));

    // Raw PCM, chosen by name or by --format, to a file or standard output.
    for (const cli::CommandArgs& args :
         {cli::CommandArgs{song, "-o", (dir / "r.raw").string()},
          cli::CommandArgs{song, "-o", (dir / "r.PCM").string()},
          cli::CommandArgs{"--format", "raw", song, "-o", (dir / "r.bin").string()}}) {
        ASSERT_EQ(render(args).status, 0);
        EXPECT_TRUE(test::readFileBytes(args.back()) == pcm) << args.back();
    }
    const test::CommandRun rawOut = render({"--format=raw", song, "-o", "-"});
    ASSERT_EQ(rawOut.status, 0) << rawOut.err;
    EXPECT_TRUE(std::vector<uint8_t>(rawOut.out.begin(), rawOut.out.end()) == pcm);

    // FLAC on standard output: the length is known up front; the stream decodes all the same.
    const test::CommandRun flacOut = render({"--format", "flac", song, "-o", "-"});
    ASSERT_EQ(flacOut.status, 0) << flacOut.err;
    const std::string piped = (dir / "piped.flac").string();
    test::writeTempFile("piped.flac", std::vector<uint8_t>(flacOut.out.begin(), flacOut.out.end()));
    const Decoded decoded = decodeFlac(piped);
    EXPECT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.totalFrames, pcm.size() / 4);
    EXPECT_TRUE(decoded.pcm == pcm);

    // --format wins over the name; without -o the name gets the format's extension.
    ASSERT_EQ(render({"--format", "wav", song, "-o", (dir / "named.flac").string()}).status, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(test::readFileBytes(dir / "named.flac").data()), 4),
              "RIFF");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    const test::CommandRun byDefault = render({"--format", "flac", song});
    const bool exists = std::filesystem::exists(dir / "formats.mod.flac");
    std::filesystem::current_path(before);
    EXPECT_EQ(byDefault.status, 0) << byDefault.err;
    EXPECT_TRUE(exists);

    for (const cli::CommandArgs& args :
         {cli::CommandArgs{"--format", "ogg", song}, cli::CommandArgs{song, "--format"}}) {
        const test::CommandRun run = render(args);
        EXPECT_EQ(run.status, cli::kExitUsage);
        EXPECT_NE(run.err.find("--format"), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace tarvex
