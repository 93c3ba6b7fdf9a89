// The descriptions of tarvex-cli and tarvex. Each fact is written once here; --help and the
// manual pages are both made from it.
#include <array>

#include "manual/Manual.h"

namespace tarvex::manual {

namespace {

// ---- tarvex-cli

constexpr Item kOutputOptions[] = {
    {"--rate HZ", "sample rate: 8000, 11025, 22050, 44100 (default), 48000, 96000 or 192000"},
    {"--bits 8|16|24", "bits per sample (default 16)"},
    {"--channels 1|2", "mono or stereo (default 2)"},
    {"--isp on|off", "interpolation and smoothing (default on)"},
    {"--click on|off", "de-click ramp at note starts (default on)"},
    {"--wide on|off", "wide-stereo cross-feed (default on)"},
    {"--clipping on|off", "limit instead of wrapping around (default on)"},
    {"--loops on|off", "carry out jumps back (default off, so that songs end)"},
    {"--preamp 1..1024", "preamp slider position; higher is quieter (default 512)"},
    {"--separation 0..200",
     "stereo separation in percent, applied to each frame after the mix: 0 mono, 100 as mixed "
     "(default), 200 twice as wide"},
    {"--subsong N",
     "play sub-song N (1 is the song from the start): a module may hold several songs, each starting "
     "at an order position the ones before never play; info lists them"},
    {"--start N",
     "begin at order position N (0 is the first), with the time, tempo and speed the song has there"},
    {"--from TIME",
     "begin TIME into the song (seconds, M:SS or M:SS.mmm): exactly the frames a whole render has from "
     "there on"},
    {"--timing auto|tempo|vblank",
     "how a MOD's Fxx above 1F is read: as the tempo, or as the speed as in players timed by the "
     "screen's vertical blank; auto (default) takes the vertical blank for a song that lasts 8 minutes "
     "or more with tempos and is shorter read the other way"},
    {"--mute LIST", "leave channels out of the mix (numbers from 1: 1,3 or 2-4); the song plays on as ever"},
    {"--solo LIST",
     "hear only these channels (numbers from 1); with --mute, these channels less the muted ones. A "
     "channel the song does not have is a warning"},
    {"--repeat N",
     "take the song's own jumps back (to the playing or an earlier order position) N times, then ignore "
     "them, so that the song ends; a song without one plays N + 1 times in a row. Loops are off with it: "
     "--repeat 0 is --loops off"},
    {"--max-seconds S",
     "stop after S seconds even if the song goes on, exactly S times the rate frames, and say so on "
     "stderr (default 1200)"},
};

constexpr Item kDeviceOptions[] = {
#ifdef _WIN32
    {"--device dsound|winmm|null|capture=OUT.wav",
     "where the sound goes (default dsound: DirectSound, the ring kind; winmm: waveform-audio, the "
     "queued kind); null keeps real-time pace in silence; capture does too and writes what the device "
     "played since its last start to OUT.wav"},
#else
    {"--device sdl|null|capture=OUT.wav",
     "where the sound goes (default sdl: the system's audio output through SDL2, that is PipeWire, "
     "PulseAudio or ALSA); null keeps real-time pace in silence; capture does too and writes what the "
     "device played since its last start to OUT.wav"},
#endif
    {"--fallback-device NAME", "used, after a one-line notice, when the device cannot be opened"},
    {"--waveout",
     "the queued device kind: 8 segment buffers, each refilled once it has played, which sounds on "
     "after the end of a song until stopped (default: the ring kind, one looping buffer, which stops by "
     "itself at the end of the song)"},
    {"--buffer MS", "segment duration: 15, 25 (default), 50, 75, 100, 125, 150, 175, 200, 225 or 250"},
};

constexpr Item kInfoOptions[] = {
    {"--json",
     "one JSON object per file (an array for several files) with the keys file, loaded, result, "
     "message, sizeDetail, trackerLine, title, trackerName, signature, formatType, channelCount, "
     "sampleCount, songLength, patternCount, orders, initialTempo, initialSpeed, globalVolume, "
     "durationMs, timing (tempo or vblank for a MOD, null otherwise), writtenBy, subsongs (start and "
     "durationMs of each song, the first being the song from its start), panLeft, panRight and "
     "samples; an XM file adds linearFrequency, restartPosition and instruments (name, firstSample, "
     "sampleCount, sampleOfNote: the 1-based sample of each of the 96 notes or 0, volumeEnvelope and "
     "panningEnvelope: on, points as [tick, value] pairs, sustainOn, sustain, loopOn, loopStart and "
     "loopEnd, fadeout, vibratoType: sine, square, down or up, vibratoSweep, vibratoDepth, "
     "vibratoRate), and to each sample relativeNote, finetune128, panning, loopType (none, forward or "
     "pingpong) and sixteenBit; an IT file adds instrumentMode, linearFrequency, oldEffects, compatibleGxx, "
     "initialGlobalVolume, mixVolume, panSeparation (0..128 each), channelPanning (0..64, 100 surround, "
     "plus 128 when muted), channelVolume, songMessage and instruments (name, sampleOfNote and "
     "noteOfNote for the 120 notes, volumeEnvelope, panningEnvelope and pitchEnvelope with sustainEnd "
     "as well, filterEnvelope, newNoteAction: cut, continue, off or fade, duplicateCheck: off, note, "
     "sample or instrument, duplicateAction: cut, off or fade, fadeout, globalVolume, defaultPanning, "
     "randomVolume, randomPanning, filterCutoff and filterResonance (null when not set), "
     "pitchPanSeparation, pitchPanCentre), and to each sample the XM keys and panningSet, globalVolume, "
     "sustainStart, sustainEnd, sustainLoopType, vibratoType (sine, down, square or random), "
     "vibratoSpeed, vibratoDepth and vibratoRate; a file name that is not valid UTF-8 shows replacement "
     "characters in file and "
     "its exact "
     "bytes in fileHex (hexadecimal)"},
    {"--patterns", "also every pattern, one line per row (a patterns key with --json)"},
};

constexpr Item kRenderOptions[] = {
    {"-o OUT.wav, --output OUT.wav",
     "the output file; - for standard output (default: FILE's name with .wav, .flac or .raw appended, "
     "in the current directory)"},
    {"--format wav|flac|raw",
     "what to write (default: FLAC when OUT ends in .flac, raw PCM for .raw or .pcm, WAV otherwise); "
     "FLAC carries the module title and \"Tarvex\" as tags and decodes to the WAV file's PCM"},
    {"--", "ends the options: what follows is FILE even if it starts with -"},
};

constexpr Item kPreviewOptions[] = {
    {"--note NAME",
     "the note to play, C-0 to H-A of the period table (default C-6, the sample's base "
     "frequency)"},
    {"--rate HZ", "sample rate: 8000, 11025, 22050, 44100 (default), 48000, 96000 or 192000"},
    {"--bits 8|16|24", "bits per sample (default 16)"},
    {"--isp on|off", "interpolation and smoothing (default on)"},
    {"--max-seconds S", "stop after S seconds even if the sample goes on (default 1200)"},
};

constexpr Item kPlayOptions[] = {
    {"--shuffle", "play the files and list entries in a random order (lists are read in full first)"},
    {"--repeat-list",
     "after the last file start again with the first (with --shuffle in a new order), as long as a "
     "file of the last round played"},
};

constexpr Item kPlayKeys[] = {
    {"space", "pause or resume"},
    {"f", "fast forward"},
    {"r", "rewind"},
    {"p", "back to normal speed"},
    {"<, >, left, right", "the start of the previous or next order position"},
    {"comma, period", "ten seconds back or forward, exactly where playing through would be"},
    {"[, ]", "the previous or next sub-song, from its start (the status line shows \"Song 2/4\")"},
    {"1-9, 0", "mute or unmute channels 1-10"},
    {"!", "unmute all channels"},
    {"n", "next file"},
    {"b", "back to the file before (the first file starts again)"},
    {"i", "print the sample names of the module above the status line"},
    {"q", "quit"},
    {"Ctrl-C", "quit with status 130"},
    {"h, ?", "show the keys"},
};

constexpr Item kPreviewKeys[] = {
    {"q, Ctrl-C", "stop the sample"},
};

constexpr CommandPage kCommands[] = {
    {
        "info",
        "[--json] [--patterns] FILE...",
        "show what each module file holds",
        "Loads each module file and prints the file name, the tracker line (\"ProTracker [M.K.]\"), the "
        "load result as the window shows it (\"No Errors\", \"Mod too short for 100 Bytes\", ...), the "
        "title, format, channel count, sample count, song length, pattern count, initial speed and "
        "tempo, global volume, the song's duration (the time at which it ends when played from its "
        "start with loops off, or \"over 60:00\"), a MOD's timing, the program that wrote an S3M "
        "when its version word says so, the sub-songs when there are several (number, first order "
        "position, duration), the order list and a table of samples (length, loop, volume, finetune, "
        "base frequency and base note). An XM file adds its frequency mode (linear or Amiga periods), "
        "restart position and a table of instruments (sample count, volume and panning envelope on or "
        "off with their points, fadeout, auto-vibrato type, sweep, depth and rate); its sample table "
        "gives finetune in 1/128 semitone, relative note, panning, loop type and bits instead of base "
        "frequency and note. An IT file adds its mode (instruments or samples), flags (linear slides, "
        "old effects, compatible Gxx), global and mix volume and stereo separation, each channel's "
        "panning (S surround, m muted) and volume, its message, and a table of instruments (samples "
        "named by the keys, envelopes with F: for a filter envelope, fadeout, global volume, default "
        "panning, new-note action, duplicate check and action, filter cutoff and resonance, random "
        "volume and panning, pitch-pan separation and centre); its sample table adds the sustain loop, "
        "global volume, rate at C-5 and auto-vibrato.\n"
        "Module texts are Latin-1 and are printed as UTF-8. A file that fails to load has its message "
        "printed on stderr; the other files are still printed.",
        kInfoOptions,
        false,
        false,
        {},
    },
    {
        "play",
        "[OPTIONS] FILE...",
        "play modules and list files through the sound device",
        "Plays each module in turn through the sound device and moves on when a song has finished; the "
        "entries of a list file play in its place. On a terminal one status line shows the render load "
        "and the position (\"CPU 2% | Index 03/07 | Pattern 02 | Row 1C | BPM 125 | Speed 6 | Time  "
        "0:19\") and single keys control playback; without a terminal one line is printed per file.\n"
        "For the same options the device plays exactly the bytes render writes. A device that cannot "
        "be opened prints its message with the reason (\"Error: Failed to open the sound device (no "
        "audio device: ...)\"; on Windows \"Error: Failed to open wave out device\", ...) and ends the "
        "command with status 1.",
        kPlayOptions,
        true,
        true,
        kPlayKeys,
    },
    {
        "preview",
        "[OPTIONS] FILE SAMPLE [--note NAME]",
        "play one sample of a module once",
        "Plays sample number SAMPLE (1 is the first) of a module once, mono, at a note of the period "
        "table; in a module with instruments (XM, IT) SAMPLE may also be I.S, the S-th sample of "
        "instrument I (in an IT, the S-th sample its keys name). A looped sample plays until it is stopped "
        "or --max-seconds has passed.",
        kPreviewOptions,
        false,
        true,
        kPreviewKeys,
    },
    {
        "render",
        "[OPTIONS] FILE [-o OUT.wav]",
        "render a module to a WAV, FLAC or raw PCM file",
        "Plays the song from its start until it has finished and writes a RIFF/WAVE PCM file, a FLAC "
        "file or raw PCM: 8-bit unsigned, 16- or 24-bit signed, mono or stereo. An existing output file is "
        "replaced. Standard "
        "output may be a pipe. Progress goes to stderr when it is a terminal. The same file and options "
        "always give the same bytes.",
        kRenderOptions,
        true,
        false,
        {},
    },
};

constexpr std::string_view kCliSynopsis[] = {
    "tarvex-cli info [--json] [--patterns] FILE...",
    "tarvex-cli play [OPTIONS] FILE...",
    "tarvex-cli preview [OPTIONS] FILE SAMPLE [--note NAME]",
    "tarvex-cli render [OPTIONS] FILE [-o OUT.wav]",
    "tarvex-cli COMMAND --help",
    "tarvex-cli --help | --version",
};

constexpr Item kProgramOptions[] = {
    {"--help, -h", "describe the program and exit"},
    {"--version", "print the version number and exit"},
};

constexpr Item kCliExit[] = {
    {"0", "every file loaded (and played or was written)"},
    {"1",
     "a file failed to load, the sound device failed or the output could not be written; the "
     "message is on stderr"},
    {"2", "a usage error: an unknown command or option, a bad value, a missing FILE"},
};

constexpr Item kCliEnvironment[] = {
    {"SDL_AUDIODRIVER",
     "the audio driver the sdl device uses (pipewire, pulseaudio, alsa, ...), chosen "
     "by SDL2 when unset"},
};

constexpr Item kListFiles[] = {
    {"*.lst",
     "a list file: a file whose extension starts with lst names one module per line; relative paths "
     "resolve against the current directory, empty lines are skipped, an entry is at most 499 "
     "characters"},
};

constexpr Section kCliSections[] = {
    {"EXIT STATUS", "", kCliExit, true},
    {"ENVIRONMENT", "", kCliEnvironment},
    {"FILES", "", kListFiles},
};

constexpr std::string_view kCliSeeAlso[] = {"tarvex(1)"};

constexpr Page kCliPage = {
    "tarvex-cli",
    "play, describe and render tracker music modules",
    kCliSynopsis,
    "tarvex-cli plays tracker music modules through the sound device, shows what a module file holds "
    "and renders songs to WAV files: MOD files of the ProTracker family (31- and 15-sample files, NST, "
    "WOW), ScreamTracker 2 STM, ScreamTracker 3 S3M, FastTracker 2 XM and Impulse Tracker IT. The reader "
    "is chosen by the "
    "file's extension. "
    "Playback is bit-exact integer arithmetic, so the same file and options give the same bytes on "
    "every machine.\n"
    "Each run carries out one command; tarvex-cli COMMAND --help describes one command. The output "
    "and mixer options may also be written with an equals sign, as in --rate=48000.",
    kProgramOptions,
    kCommands,
    kCliSections,
    kCliSeeAlso,
};

// ---- tarvex

constexpr std::string_view kWindowSynopsis[] = {
    "tarvex [FILE]",
    "tarvex --help | --version",
};

constexpr Item kWindowOptions[] = {
    {"FILE", "a module or list file, loaded and played at once"},
    {"--help, -h", "describe the program and exit"},
    {"--version", "print the version number and exit"},
    {"--", "ends the options: what follows is FILE even if it starts with -"},
};

constexpr Item kWindowKeys[] = {
    {"Enter", "presses the button that has the focus; elsewhere closes the window, as Escape does"},
    {"Escape", "closes the window (the settings are saved)"},
    {"Space", "presses the button that has the focus"},
    {"Alt+F",
     "opens the File menu: O open a module file, S the samples window, P the pattern "
     "window, E exit"},
    {"Alt+?", "opens the menu with the about box (O)"},
    {"media keys",
     "Play, Pause, Stop, Next and Previous of the keyboard or the desktop's panel reach the "
     "window through its media controls"},
};

constexpr Item kMediaControls[] = {
    {"Play", "starts a stopped song, resumes a paused one"},
    {"Pause", "pauses a playing song"},
    {"PlayPause", "pauses or resumes, as the window's pause button; starts a stopped song"},
    {"Stop", "stops, as the window's stop button"},
    {"Next", "the next song of the module, else the next list entry, as the window's next button"},
    {"Previous", "the previous song of the module, when there is one"},
    {"Seek, SetPosition",
     "plays the song on from another time, exactly as playing through would get there; a paused "
     "song stays paused, a stopped one starts"},
    {"Raise", "brings the window to the front"},
    {"Quit", "closes the window as its Exit entry does"},
};

constexpr Item kWindowExit[] = {
    {"0", "the window was closed"},
    {"2", "a usage error: an unknown option or more than one FILE"},
};

constexpr Item kWindowEnvironment[] = {
    {"TARVEX_DEVICE",
     "where the sound goes: sdl (the default), null (real-time pace in silence) or "
     "capture=OUT.wav (silent, and what was played is written to OUT.wav); an "
     "unknown name falls back to sdl with a notice on stderr"},
    {"SDL_AUDIODRIVER", "the audio driver the sdl device uses, chosen by SDL2 when unset"},
    {"XDG_CONFIG_HOME", "where the settings file lives (default ~/.config)"},
    {"DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM",
     "the display the window opens on, as for every Qt program (QT_QPA_PLATFORM=offscreen runs it "
     "without one)"},
    {"DBUS_SESSION_BUS_ADDRESS", "the session bus the media controls are offered on"},
};

constexpr Item kWindowFiles[] = {
    {"~/.config/Brennwerks/Tarvex.conf",
     "the settings, read when the window opens and written when it closes, as numbers in an INI file: "
     "PlayerFrequenzy (0 to 6 for 8000, 11025, 22050, 44100, 48000, 96000 and 192000 Hz; default 3), "
     "PlayerBuffers (0 to 10 for 15 to 250 ms; default 1, 25 ms), PlayerChannels (0 mono, 1 stereo; "
     "default 1), PlayerSamples (0 to 2 for 8, 16 and 24 bits; default 1), and ISP, WideStereo, "
     "UseWaveOut, Clipping, Click and LoopsAllowed (1 on, 0 off; all on by default but UseWaveOut). "
     "A value out of range is read as the default."},
    {"*.lst",
     "a list file: a file whose extension starts with lst names one module per line; relative paths "
     "resolve against the current directory, empty lines are skipped, an entry is at most 499 "
     "characters"},
};

constexpr Section kWindowSections[] = {
    {"KEYS", "", kWindowKeys, true},
    {"MEDIA CONTROLS",
     "While the window runs it is a media player on the session bus (MPRIS, under the name "
     "org.mpris.MediaPlayer2.tarvex), so the desktop's media keys and panels, and tools such as "
     "playerctl, see the playing song (title, file, length and tracker; each song of a module is a "
     "track of its own) and control it. Every call "
     "does what the window's own button does:",
     kMediaControls},
    {"EXIT STATUS", "", kWindowExit, true},
    {"ENVIRONMENT", "", kWindowEnvironment, true},
    {"FILES", "", kWindowFiles, true},
};

constexpr std::string_view kWindowSeeAlso[] = {"tarvex-cli(1)", "playerctl(1)"};

constexpr Page kWindowPage = {
    "tarvex",
    "the Tarvex tracker music module player",
    kWindowSynopsis,
    "tarvex opens the player window: MOD files of the ProTracker family (31- and 15-sample files, NST, "
    "WOW), ScreamTracker 2 STM, ScreamTracker 3 S3M, FastTracker 2 XM and Impulse Tracker IT play in "
    "real time through its "
    "own software "
    "mixer. A module or list file named on the command line is loaded and played at once. Files can "
    "also be dropped on the window (they play at once) or opened from File, Open modfile (they wait "
    "for play).\n"
    "The six buttons rewind, play, fast forward, skip to the next list entry, pause and stop. A "
    "module that holds several songs (stretches of its order list that playing from the start "
    "never reaches) offers them in the selector beside the buttons, \"Song 2/3\": choosing one "
    "plays it from its start, and the next button steps through them before it moves to the next "
    "list entry. The "
    "mixer options (ISP, Clipping, de click, Wide Stereo, Loops on, Use WaveOut), the output format "
    "(frequency, channels, resolution, buffer) and the preamp slider apply to the next play. A list "
    "file plays its entries one after the other.\n"
    "File, Pattern opens the pattern window, which follows the playing pattern; File, Samples (or a "
    "double click on an instrument) opens the samples window, which shows a sample's properties and "
    "waveform and plays it on its own while the player is stopped. A list waits for an open window "
    "to close before it moves on. The about box sits in the window's context menu (a right click on "
    "an empty spot) and in the ? menu.",
    kWindowOptions,
    {},
    kWindowSections,
    kWindowSeeAlso,
};

}  // namespace

std::span<const Item> outputOptions() {
    return kOutputOptions;
}

std::span<const Item> deviceOptions() {
    return kDeviceOptions;
}

const Page& cliPage() {
    return kCliPage;
}

const Page& windowPage() {
    return kWindowPage;
}

const CommandPage* findCommand(std::string_view name) {
    for (const CommandPage& command : kCommands) {
        if (command.name == name) return &command;
    }
    return nullptr;
}

}  // namespace tarvex::manual
