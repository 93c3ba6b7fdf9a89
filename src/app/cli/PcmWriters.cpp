#include "cli/PcmWriters.h"

#if TARVEX_HAVE_FLAC
#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#endif

#include <limits>
#include <vector>

namespace tarvex::cli {

namespace {

constexpr uint64_t kMaxFlacFrames = (uint64_t{1} << 36) - 1;  // STREAMINFO holds 36 bits of length
constexpr uint32_t kFlacCompressionLevel = 5;

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

class WavWriter final : public PcmWriter {
   public:
    explicit WavWriter(const PcmFormat& pcm) : pcm_(pcm) {}

    bool begin(std::ostream& out, bool seekable, uint64_t knownFrames) override {
        out_ = &out;
        seekable_ = seekable;
        putHeader(seekable ? 0 : knownFrames * pcm_.blockAlign());
        return static_cast<bool>(out);
    }

    bool write(const uint8_t* bytes, size_t count) override {
        out_->write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count));
        return static_cast<bool>(*out_);
    }

    bool finish(uint64_t frames) override {
        const uint64_t dataBytes = frames * pcm_.blockAlign();
        if (wavPadBytes(dataBytes) != 0) out_->put(0);
        if (seekable_) {
            out_->seekp(0);
            putHeader(dataBytes);
        }
        out_->flush();
        return static_cast<bool>(*out_);
    }

   private:
    void putHeader(uint64_t dataBytes) {
        const auto header = wavHeader(pcm_, static_cast<uint32_t>(dataBytes));
        out_->write(reinterpret_cast<const char*>(header.data()), header.size());
    }

    PcmFormat pcm_;
    std::ostream* out_ = nullptr;
    bool seekable_ = false;
};

class RawWriter final : public PcmWriter {
   public:
    bool begin(std::ostream& out, bool, uint64_t) override {
        out_ = &out;
        return static_cast<bool>(out);
    }

    bool write(const uint8_t* bytes, size_t count) override {
        out_->write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count));
        return static_cast<bool>(*out_);
    }

    bool finish(uint64_t) override {
        out_->flush();
        return static_cast<bool>(*out_);
    }

   private:
    std::ostream* out_ = nullptr;
};

#if TARVEX_HAVE_FLAC
class FlacWriter final : public PcmWriter {
   public:
    FlacWriter(const PcmFormat& pcm, std::string title) : pcm_(pcm), title_(std::move(title)) {}

    ~FlacWriter() override {
        if (encoder_ != nullptr) FLAC__stream_encoder_delete(encoder_);
        if (tags_ != nullptr) FLAC__metadata_object_delete(tags_);
    }

    bool begin(std::ostream& out, bool seekable, uint64_t knownFrames) override {
        out_ = &out;
        encoder_ = FLAC__stream_encoder_new();
        tags_ = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
        if (encoder_ == nullptr || tags_ == nullptr) return false;
        if (!title_.empty() && !addTag("TITLE", title_.c_str())) return false;
        if (!addTag("ENCODER", "Tarvex")) return false;
        bool ok = FLAC__stream_encoder_set_channels(encoder_, pcm_.channels) &&
                  FLAC__stream_encoder_set_bits_per_sample(encoder_, pcm_.bits) &&
                  FLAC__stream_encoder_set_sample_rate(encoder_, pcm_.rate) &&
                  FLAC__stream_encoder_set_compression_level(encoder_, kFlacCompressionLevel) &&
                  FLAC__stream_encoder_set_metadata(encoder_, &tags_, 1);
        // Without a way back the length goes into STREAMINFO now, and the MD5 stays unset.
        if (ok && !seekable) ok = FLAC__stream_encoder_set_total_samples_estimate(encoder_, knownFrames);
        if (!ok) return false;
        const FLAC__StreamEncoderInitStatus status = FLAC__stream_encoder_init_stream(
            encoder_, writeBytes, seekable ? seekTo : nullptr, seekable ? tellWhere : nullptr, nullptr, this);
        return status == FLAC__STREAM_ENCODER_INIT_STATUS_OK && static_cast<bool>(out);
    }

    bool write(const uint8_t* bytes, size_t count) override {
        const uint32_t frameBytes = pcm_.blockAlign();
        const size_t frames = count / frameBytes;
        samples_.resize(frames * pcm_.channels);
        const uint32_t width = pcm_.bits / 8;
        for (size_t i = 0; i < samples_.size(); ++i) samples_[i] = sampleAt(bytes + i * width);
        return FLAC__stream_encoder_process_interleaved(encoder_, samples_.data(),
                                                        static_cast<uint32_t>(frames)) &&
               static_cast<bool>(*out_);
    }

    bool finish(uint64_t) override {
        const bool finished = FLAC__stream_encoder_finish(encoder_);
        out_->flush();
        return finished && static_cast<bool>(*out_);
    }

   private:
    bool addTag(const char* name, const char* value) {
        FLAC__StreamMetadata_VorbisComment_Entry entry;
        if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name, value))
            return false;
        return FLAC__metadata_object_vorbiscomment_append_comment(tags_, entry, /*copy=*/false);
    }

    // One sample as the mixer wrote it: 8-bit unsigned around 128, 16 and 24 bits signed.
    FLAC__int32 sampleAt(const uint8_t* p) const {
        if (pcm_.bits == 8) return FLAC__int32{p[0]} - 128;
        if (pcm_.bits == 16) return static_cast<int16_t>(p[0] | (p[1] << 8));
        const int32_t value = p[0] | (p[1] << 8) | (p[2] << 16);
        return value >= (1 << 23) ? value - (1 << 24) : value;
    }

    static FLAC__StreamEncoderWriteStatus writeBytes(const FLAC__StreamEncoder*, const FLAC__byte buffer[],
                                                     size_t bytes, uint32_t, uint32_t, void* self) {
        std::ostream& out = *static_cast<FlacWriter*>(self)->out_;
        out.write(reinterpret_cast<const char*>(buffer), static_cast<std::streamsize>(bytes));
        return out ? FLAC__STREAM_ENCODER_WRITE_STATUS_OK : FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    }

    static FLAC__StreamEncoderSeekStatus seekTo(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* self) {
        std::ostream& out = *static_cast<FlacWriter*>(self)->out_;
        out.seekp(static_cast<std::streamoff>(offset));
        return out ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK : FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    }

    static FLAC__StreamEncoderTellStatus tellWhere(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                                   void* self) {
        std::ostream& out = *static_cast<FlacWriter*>(self)->out_;
        const std::streamoff where = out.tellp();
        if (where < 0) return FLAC__STREAM_ENCODER_TELL_STATUS_UNSUPPORTED;
        *offset = static_cast<FLAC__uint64>(where);
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }

    PcmFormat pcm_;
    std::string title_;
    std::ostream* out_ = nullptr;
    FLAC__StreamEncoder* encoder_ = nullptr;
    FLAC__StreamMetadata* tags_ = nullptr;
    std::vector<FLAC__int32> samples_;
};
#endif

}  // namespace

bool formatAvailable(OutputFormat format) {
#if TARVEX_HAVE_FLAC
    (void)format;
    return true;
#else
    return format != OutputFormat::flac;
#endif
}

bool parseOutputFormat(std::string_view text, OutputFormat& format) {
    if (text == "wav") {
        format = OutputFormat::wav;
    } else if (text == "flac") {
        format = OutputFormat::flac;
    } else if (text == "raw") {
        format = OutputFormat::raw;
    } else {
        return false;
    }
    return true;
}

OutputFormat formatForFileName(std::string_view name) {
    const std::string lower = lowerCase(name);
    if (endsWith(lower, ".flac")) return OutputFormat::flac;
    if (endsWith(lower, ".raw") || endsWith(lower, ".pcm")) return OutputFormat::raw;
    return OutputFormat::wav;
}

std::string_view fileExtension(OutputFormat format) {
    switch (format) {
        case OutputFormat::flac:
            return ".flac";
        case OutputFormat::raw:
            return ".raw";
        case OutputFormat::wav:
            break;
    }
    return ".wav";
}

bool needsLengthUpFront(OutputFormat format) {
    return format != OutputFormat::raw;
}

uint64_t maxFramesFor(OutputFormat format, const PcmFormat& pcm) {
    switch (format) {
        case OutputFormat::flac:
            return kMaxFlacFrames;
        case OutputFormat::raw:
            return std::numeric_limits<uint64_t>::max();
        case OutputFormat::wav:
            break;
    }
    return kMaxWavDataBytes / pcm.blockAlign();
}

std::unique_ptr<PcmWriter> makePcmWriter(OutputFormat format, const PcmFormat& pcm, std::string titleUtf8) {
    switch (format) {
        case OutputFormat::flac:
#if TARVEX_HAVE_FLAC
            return std::make_unique<FlacWriter>(pcm, std::move(titleUtf8));
#else
            (void)titleUtf8;
            return nullptr;
#endif
        case OutputFormat::raw:
            return std::make_unique<RawWriter>();
        case OutputFormat::wav:
            break;
    }
    return std::make_unique<WavWriter>(pcm);
}

}  // namespace tarvex::cli
