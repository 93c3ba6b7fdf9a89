// The window's view of the audio side, on a real Player and its output device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/Player.h"
#include "ui/MainWindowView.h"

namespace tarvex {

class PlayerAudio : public AudioControl {
   public:
    // The player's device must have its backend installed by the caller.
    explicit PlayerAudio(Player& player) : player_(player) {}

    std::string startPlayback() override;
    void stopPlayback() override;
    void setStartFrame(uint64_t frame) override { player_.startFrame = frame; }
    void pauseDevice() override;
    void resumeDevice() override;
    void setPreamp(uint32_t position) override;
    uint32_t renderMillis() override;
    // Copies the mixer's level arrays. They are only allocated and freed on this (the owner's)
    // thread, by the song start and by stopPlayback; the audio side only writes their entries.
    LevelBuffer levels() override;

   private:
    Player& player_;
    std::vector<int16_t> left_;
    std::vector<int16_t> right_;
};

}  // namespace tarvex
