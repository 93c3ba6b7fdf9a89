// The sequencer's state: what every channel plays, and where the song stands.
//
// Units: periods are sixteen times an Amiga period (428 * 16 plays a sample at its base frequency);
// a step is source frames per output frame in 1/1024 frame; volumes run 0..64; pan factors 0..1024.
// At 44100 Hz, stepBase = trunc(438272 / (44100 / 8363)) * 16 and period 6848 gives step 194.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/CycleDetector.h"
#include "engine/ItPlayback.h"
#include "engine/PlayerSettings.h"
#include "engine/Voice.h"
#include "engine/XmPlayback.h"
#include "model/Module.h"

namespace tarvex {

inline constexpr uint32_t kNoCellIndex = 0xFFFFFFFFu;

// A tracker channel: what the pattern drives (note, effect memories, oscillators), and the voice
// it sounds through.
struct ChannelState : Voice {
    bool volumeSlideOnce = false;
    bool portaOnce = false;
    bool glissando = false;
    bool volumeSlideActive = false;
    int32_t notePeriod = 0;
    int32_t delayedPeriod = 255;  // 255 = none
    int32_t volume = 0;
    int32_t volumeSlide = 0;
    int32_t rightPan = 0;
    int32_t leftPan = 0;
    uint8_t retrigCounter = 0;
    uint8_t retrigInterval = 0;
    uint8_t noteDelayCounter = 0;
    uint8_t noteCutCounter = 0;
    uint8_t effect = 0;
    uint8_t param = 0;
    uint8_t noteInOctave = 0;
    uint8_t octave = 0;
    const Sample* pendingSample = nullptr;
    bool portaActive = false;
    int32_t portaDelta = 0;
    int32_t portaMemory = 0;
    int32_t tonePortaMemory = 0;
    int32_t portaPeriod = 0;
    int32_t portaStart = 0;
    int32_t portaTarget = 0;
    bool vibratoActive = false;
    bool vibratoNegative = false;
    uint32_t vibratoPos = 0;
    uint32_t vibratoSpeed = 0;
    uint32_t vibratoDepth = 0;
    uint8_t vibratoWave = 0;
    bool tremoloActive = false;
    bool tremoloNegative = false;
    uint32_t tremoloPos = 0;
    uint32_t tremoloSpeed = 0;
    uint32_t tremoloDepth = 0;
    uint8_t tremoloWave = 0;
    bool arpeggioActive = false;
    int32_t arpeggioIndex = 0;
    std::array<int32_t, 3> arpeggioPeriods = {};
    // Pattern loop state of this channel's own loops: used for MOD only (see PlayerState).
    int32_t loopCount = -1;  // loops still to go; -1 = no loop running
    bool loopStartSet = false;
    uint32_t loopOrder = 0;
    uint32_t loopRow = 0;
};

struct PlayerState {
    // For each row of each pattern, the index of the first cell at or after that row (or the last
    // cell of the pattern when none is); kNoCellIndex throughout for an empty pattern. Order
    // positions that play the same pattern share one stretch, so a long order list costs 8 bytes
    // per position: rowIndex[rowIndexOfOrder[o] + r] is the row index of order position o. The
    // first stretch (256 rows) serves empty patterns and order entries that name no pattern.
    std::vector<uint32_t> rowIndex;
    std::vector<uint32_t> rowIndexOfOrder;
    // The number of each position's first row in the song: the rows of the positions before it.
    std::vector<uint32_t> firstRowOfOrder;
    uint32_t cursor = kNoCellIndex;         // next cell of the playing pattern not yet consumed
    const Pattern* playingCells = nullptr;  // the cells cursor indexes; null for an empty pattern
    uint32_t rowCount = kRowsPerPattern;    // rows of the playing pattern

    uint32_t rate = 0;            // output rate the song was started for, Hz
    uint32_t playableOrders = 0;  // songLength, bounded by the order list's size
    uint32_t songStart = 0;       // order position the song (or sub-song) began at

    // Read by the window while audio runs.
    std::atomic<uint32_t> nextOrder{0};
    std::atomic<uint32_t> currentPattern{0};
    std::atomic<uint32_t> row{64};
    std::atomic<uint16_t> speed{6};
    std::atomic<uint32_t> tempo{125};
    std::atomic<uint32_t> playTime{0};  // microseconds; wraps after about 71 minutes

    uint16_t tickCounter = 1;
    uint32_t samplesPerTick = 0;
    uint32_t tickFrameCounter = 0;
    uint8_t patternDelay = 0;
    // Pattern loop state shared by all channels of an S3M or STM song; a MOD keeps one per channel.
    int32_t loopCount = -1;
    bool loopStartSet = false;
    uint32_t loopOrder = 0;
    uint32_t loopRow = 0;
    bool jumpPending = false;
    uint32_t jumpOrder = 0;
    bool breakPending = false;
    uint32_t breakRow = 0;
    // XM: a pattern loop that went back leaves its start row as the row the next pattern starts
    // at, unless a break names another; 0 otherwise.
    uint32_t rowAfterPattern = 0;

    // With LoopsAllowed off: backward jumps still to be taken (Engine::repeatCount at the start).
    uint32_t repeatsLeft = 0;
    bool repeatJump = false;  // the pending jump goes back and counts against repeatsLeft
    bool wentBack = false;    // a backward jump has been taken: the song has its own way back

    // A jump the user asked for (requestSeek), packed so that it travels in one atomic; 0 = none.
    // The next tick takes it.
    std::atomic<uint64_t> seekRequest{0};

    // With LoopsAllowed off: the row-start states so far. A rewind, or LoopsAllowed on for a
    // while, starts it afresh at the next forward row.
    CycleDetector history;
    bool historyStale = false;

    // Written by the window's transport buttons.
    std::atomic<bool> rewinding{false};
    std::atomic<bool> fastForward{false};
    // Set by the sequencer at the song's end and by the output layer when it stops playback.
    std::atomic<bool> songEnded{false};
};

// Where a user's jump lands: an order position, started at its first row with the play time, tempo
// and speed the song has when it first gets there (tempo and speed 0: keep the current ones).
struct SeekTarget {
    uint32_t order = 0;
    uint32_t playTime = 0;  // microseconds before the tick that plays the position's first row
    uint32_t tempo = 0;     // 1..255, or 0
    uint16_t speed = 0;     // 1..255, or 0
};

// The engine's part of the player context: the current module, the sequencer and the settings.
// The audio layer's Player extends it with the mixer and the output device.
class Engine {
   public:
    Engine() = default;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    virtual ~Engine() = default;

    PlayerSettings settings;
    std::unique_ptr<Module> module;
    PlayerState state;
    std::vector<ChannelState> channels;
    // What the mixer plays, set up by startSong: each channel's own voice.
    std::vector<Voice*> voices;
    // The instrument channels of a song played by the XM rules, or by the IT rules.
    XmState xm;
    ItState it;

    // Where startSong begins the song instead of its first position: its first tick jumps there.
    std::optional<SeekTarget> startAt;
    // The order position the song begins at: 0, or the first position of a sub-song (see
    // findSubsongs). Its first tick jumps there unless startAt is set, and a repeat of a song
    // without a way back of its own starts again there. startSong reads it.
    uint32_t songStart = 0;
    // With LoopsAllowed off, how many times the song's way back (a position jump to its own or an
    // earlier position) is taken before such jumps are ignored; a song without one plays this
    // many more times in a row instead. startSong reads it.
    uint32_t repeatCount = 0;

    // Output flags: true while nothing plays. startSong clears both.
    std::atomic<bool> outputStopped{true};
    std::atomic<bool> playbackFinished{true};

    // Replaces the current module with a fresh record (dropping the channel array first).
    Module& createModule();
    // Drops the channel array and the current module.
    void freeModule();

   protected:
    friend void startSong(Engine& engine);
    // Hook run at the end of startSong; the audio layer resets its mixer here.
    virtual void resetMixState() {}
};

// Tick length in frames: rate * 25 / (tempo * 10), unsigned 32-bit; 882 at 44100 Hz and tempo 125.
inline uint32_t samplesPerTickFor(uint32_t rate, uint32_t tempo) {
    const uint32_t divisor = tempo * 10u;
    return divisor == 0 ? 0 : rate * 25u / divisor;
}

// Starts the loaded module from its beginning at settings.Frequency. Without a module the song is
// simply over.
void startSong(Engine& engine);
// One tick: a row tick reads the next row, other ticks continue the row's effects.
void playTick(Engine& engine);
// The mixer's frame clock, called after every rendered frame: counts 1 frame (16 while rewinding or
// fast-forwarding) and, once a tick's worth is reached, subtracts it and calls playTick, or sets
// playbackFinished when the song has ended. The excess carries over. Returns true on a tick boundary.
// At 44100 Hz and tempo 125 the first tick comes after 882 frames, or after 56 when fast-forwarding.
bool countFrame(Engine& engine);
void setRewinding(Engine& engine, bool on);
// Hands a jump to the audio side without a lock: the next tick (a tick boundary) becomes the row
// tick of the target's first row, ends rewinding, a pattern delay, pending jumps and breaks and
// pattern loops, and takes the target's time, tempo and speed. The channels sound on until the
// row's notes replace them. A later request before the tick replaces an earlier one; a position
// beyond the song is ignored.
void requestSeek(Engine& engine, const SeekTarget& target);
// The target of a pending request, if one is pending.
bool pendingSeek(const Engine& engine, SeekTarget& target);
void setFastForward(Engine& engine, bool on);

}  // namespace tarvex
