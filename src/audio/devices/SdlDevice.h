// The system's sound output through SDL2 (PipeWire, PulseAudio, ALSA, …; SDL's own `disk` and
// `dummy` drivers through SDL_AUDIODRIVER as well).
#pragma once

#include <cstdint>
#include <memory>

#include "audio/devices/PullDevice.h"

namespace tarvex {

class SdlDevice final : public PullDevice {
   public:
    SdlDevice() = default;
    ~SdlDevice() override;

    // Not DirectSound nor wave out, whichever kind: the failure names the system's sound device,
    // and openFailure gives SDL's reason.
    std::string_view openErrorText() const override { return "Error: Failed to open the sound device"; }

   protected:
    bool openStream(const PcmFormat& format, uint32_t segmentBytes) override;
    void closeStream() override;

   private:
    static void callback(void* userdata, uint8_t* stream, int len);

    uint32_t deviceId_ = 0;
    bool subsystemUp_ = false;
    // 24-bit output goes to SDL as 32-bit samples, widened from here.
    std::unique_ptr<uint8_t[]> packed_;
    uint32_t packedBytes_ = 0;
};

}  // namespace tarvex
