#include "cli/RenderOptions.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "audio/Player.h"
#include "engine/Duration.h"

namespace tarvex::cli {

namespace {

constexpr uint64_t kMicrosPerSecond = 1000000;
// Beyond this no WAV file could hold the result anyway (4 GiB at 8000 Hz, 8-bit mono).
constexpr uint64_t kMaxSeconds = 1ull << 20;

bool parseUnsigned(std::string_view text, uint32_t& value) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

bool parseSwitch(std::string_view text, bool& value) {
    if (text == "on") {
        value = true;
        return true;
    }
    if (text == "off") {
        value = false;
        return true;
    }
    return false;
}

template <size_t N>
bool oneOf(uint32_t value, const std::array<uint32_t, N>& allowed) {
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

std::string rateList() {
    std::string list;
    for (uint32_t rate : kSampleRates) list += (list.empty() ? "" : ", ") + std::to_string(rate);
    return list;
}

}  // namespace

uint64_t RenderOptions::maxFrames() const {
    return frameAtTime(maxMicroseconds, rate);
}

std::string applyStartPosition(const RenderOptions& options, Player& player) {
    player.startAt.reset();
    player.songStart = 0;
    player.startFrame = 0;
    if (!player.module) return "";
    chooseTiming(*player.module, options.timing);
    if (options.subsong) {
        const std::vector<Subsong> songs = findSubsongs(*player.module);
        if (*options.subsong < 1 || *options.subsong > songs.size()) {
            return "no sub-song " + std::to_string(*options.subsong) + " (the module has " +
                   std::to_string(songs.size()) + ", from 1)";
        }
        player.songStart = songs[*options.subsong - 1].start;
    }
    if (options.from) player.startFrame = frameAtTime(*options.from, options.rate);
    if (!options.start) return "";
    const std::vector<SeekTarget> starts = positionStarts(*player.module, player.songStart);
    if (*options.start >= starts.size()) {
        return "no order position " + std::to_string(*options.start) + " (the song has " +
               std::to_string(starts.size()) + ", from 0)";
    }
    player.startAt = starts[*options.start];
    return "";
}

bool parseChannelList(std::string_view text, std::vector<uint32_t>& list) {
    std::vector<uint32_t> parsed;
    while (true) {
        const size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const size_t dash = item.find('-');
        uint32_t first = 0;
        uint32_t last = 0;
        if (!parseUnsigned(item.substr(0, dash), first)) return false;
        last = first;
        if (dash != std::string_view::npos && !parseUnsigned(item.substr(dash + 1), last)) return false;
        if (first < 1 || last < first || last > ChannelMutes::kChannels) return false;
        for (uint32_t c = first; c <= last; ++c) parsed.push_back(c);
        if (comma == std::string_view::npos) break;
        text = text.substr(comma + 1);
    }
    list.insert(list.end(), parsed.begin(), parsed.end());
    return true;
}

bool parseTime(std::string_view text, uint64_t& microseconds) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) return parseSeconds(text, microseconds);
    uint32_t minutes = 0;
    uint64_t seconds = 0;
    const std::string_view rest = text.substr(colon + 1);
    // Two digits of seconds below 60 before any decimals: "1:05", "1:05.250".
    if (!parseUnsigned(text.substr(0, colon), minutes) || minutes > kMaxSeconds / 60) return false;
    if (rest.size() < 2 || rest.substr(0, 2).find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    if (rest.size() > 2 && rest[2] != '.') return false;
    if (!parseSeconds(rest, seconds) || seconds >= 60 * kMicrosPerSecond) return false;
    microseconds = uint64_t{minutes} * 60 * kMicrosPerSecond + seconds;
    return true;
}

bool parseSeconds(std::string_view text, uint64_t& microseconds) {
    const size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction =
        dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (whole.empty() && fraction.empty()) return false;
    if (dot != std::string_view::npos && fraction.empty()) return false;
    if (fraction.size() > 6) return false;
    uint64_t seconds = 0;
    for (char c : whole) {
        if (c < '0' || c > '9') return false;
        seconds = seconds * 10 + static_cast<uint64_t>(c - '0');
        if (seconds > kMaxSeconds) return false;
    }
    uint64_t micros = 0;
    for (size_t k = 0; k < 6; ++k) {
        const char c = k < fraction.size() ? fraction[k] : '0';
        if (c < '0' || c > '9') return false;
        micros = micros * 10 + static_cast<uint64_t>(c - '0');
    }
    microseconds = seconds * kMicrosPerSecond + micros;
    return true;
}

OptionParse parseRenderOption(const CommandArgs& args, size_t& i, RenderOptions& options,
                              std::string& error) {
    const std::string_view arg = args[i];
    static constexpr std::string_view names[] = {
        "--rate",     "--bits",  "--channels", "--isp",         "--click",      "--wide",
        "--clipping", "--loops", "--preamp",   "--max-seconds", "--separation", "--mute",
        "--solo",     "--start", "--repeat",   "--subsong",     "--from",       "--timing"};
    std::string_view name = arg;
    std::string_view value;
    bool inlineValue = false;
    if (const size_t eq = arg.find('='); eq != std::string_view::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
        inlineValue = true;
    }
    if (std::find(std::begin(names), std::end(names), name) == std::end(names)) return OptionParse::NotMine;
    if (!inlineValue) {
        if (i + 1 >= args.size()) {
            error = "option " + std::string(name) + " needs a value";
            return OptionParse::Invalid;
        }
        value = args[++i];
    }

    const auto invalid = [&](std::string_view expected) {
        error = "bad value '" + std::string(value) + "' for " + std::string(name) + ": expected " +
                std::string(expected);
        return OptionParse::Invalid;
    };
    uint32_t number = 0;
    if (name == "--rate") {
        if (!parseUnsigned(value, number) || !oneOf(number, kSampleRates)) return invalid(rateList());
        options.rate = number;
    } else if (name == "--bits") {
        if (!parseUnsigned(value, number) || !oneOf(number, kBitDepths)) return invalid("8, 16 or 24");
        options.bits = number;
    } else if (name == "--channels") {
        if (!parseUnsigned(value, number) || !oneOf(number, kChannelCounts)) return invalid("1 or 2");
        options.channels = number;
    } else if (name == "--preamp") {
        if (!parseUnsigned(value, number) || number < kMinPreamp || number > kMaxPreamp)
            return invalid("1 to 1024");
        options.preamp = number;
    } else if (name == "--separation") {
        if (!parseUnsigned(value, number) || number > 200) return invalid("0 to 200");
        options.separation = number;
    } else if (name == "--mute" || name == "--solo") {
        std::vector<uint32_t>& list = name == "--mute" ? options.mute : options.solo;
        if (!parseChannelList(value, list)) return invalid("channel numbers from 1, e.g. 1,3 or 2-4");
    } else if (name == "--start") {
        if (!parseUnsigned(value, number) || number > 0x7FFF) return invalid("an order position from 0");
        options.start = number;
    } else if (name == "--subsong") {
        if (!parseUnsigned(value, number) || number < 1) return invalid("a sub-song number from 1");
        options.subsong = number;
    } else if (name == "--from") {
        uint64_t micros = 0;
        if (!parseTime(value, micros)) return invalid("a time, e.g. 90, 1:30 or 1:30.250");
        options.from = micros;
    } else if (name == "--timing") {
        if (value == "auto") {
            options.timing = ModTiming::automatic;
        } else if (value == "tempo") {
            options.timing = ModTiming::tempo;
        } else if (value == "vblank") {
            options.timing = ModTiming::vblank;
        } else {
            return invalid("auto, tempo or vblank");
        }
    } else if (name == "--repeat") {
        if (!parseUnsigned(value, number)) return invalid("a count from 0");
        options.repeat = number;
    } else if (name == "--max-seconds") {
        if (!parseSeconds(value, options.maxMicroseconds)) return invalid("seconds, e.g. 90 or 2.5");
    } else {
        bool* target = name == "--isp"        ? &options.isp
                       : name == "--click"    ? &options.click
                       : name == "--wide"     ? &options.wide
                       : name == "--clipping" ? &options.clipping
                                              : &options.loops;
        if (!parseSwitch(value, *target)) return invalid("on or off");
    }
    return OptionParse::Taken;
}

std::string missingChannelsWarning(const RenderOptions& options, uint32_t channelCount) {
    std::string warning;
    for (const auto& [name, list] :
         {std::pair{"--mute", &options.mute}, std::pair{"--solo", &options.solo}}) {
        std::vector<uint32_t> missing;
        for (uint32_t number : *list) {
            if (number > channelCount && std::find(missing.begin(), missing.end(), number) == missing.end())
                missing.push_back(number);
        }
        if (missing.empty()) continue;
        std::string numbers;
        for (size_t i = 0; i < missing.size(); ++i)
            numbers += (i == 0 ? "" : ", ") + std::to_string(missing[i]);
        if (!warning.empty()) warning += "; ";
        warning += std::string(name) + " names " + (missing.size() == 1 ? "channel " : "channels ") +
                   numbers + ", which the song does not have (" + std::to_string(channelCount) + " channels)";
    }
    return warning;
}

void applyRenderOptions(const RenderOptions& options, Player& player) {
    PlayerSettings& settings = player.settings;
    settings.Frequency = options.rate;
    settings.Resolution = options.bits;
    settings.Channels = options.channels;
    settings.ISP.store(options.isp, std::memory_order_relaxed);
    settings.Click.store(options.click, std::memory_order_relaxed);
    settings.WideStereo.store(options.wide, std::memory_order_relaxed);
    settings.Clipping.store(options.clipping, std::memory_order_relaxed);
    // A repeat count only means something while the song's own jumps back are otherwise ignored.
    settings.LoopsAllowed.store(options.loops && !options.repeat, std::memory_order_relaxed);
    player.repeatCount = options.repeat.value_or(0);
    settings.Separation.store(options.separation, std::memory_order_relaxed);
    player.mutes.clear();
    if (!options.solo.empty()) {
        for (uint32_t c = 0; c < ChannelMutes::kChannels; ++c) player.mutes.set(c, true);
        for (uint32_t number : options.solo) player.mutes.set(number - 1, false);
    }
    for (uint32_t number : options.mute) player.mutes.set(number - 1, true);
}

}  // namespace tarvex::cli
