// tarvex-cli preview [options] FILE SAMPLE [--note NAME]
//
// Plays one sample of a module once, through the sample preview, at a note of the period table
// ("C-6" plays the sample at its base frequency). A looped sample plays until q is pressed (on a
// terminal) or --max-seconds has passed. Exit status 0, 1 when the file, the sample or the device
// failed, 2 on a usage error, 130 after Ctrl-C or SIGINT, 143 after SIGTERM.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/SamplePreview.h"
#include "audio/devices/Devices.h"
#include "cli/Commands.h"
#include "cli/Messages.h"
#include "cli/OutputOptions.h"
#include "cli/Terminal.h"
#include "cli/TextOutput.h"
#include "core/PitchTables.h"
#include "formats/Loader.h"

namespace tarvex::cli {

namespace {

// SAMPLE as given: a sample number, or an instrument's number and the number of one of its samples.
struct SampleChoice {
    uint32_t instrument = 0;  // 0: sample is the module's sample number
    uint32_t sample = 0;
};

bool parseNumber(const std::string& text, uint32_t& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
    return value != 0;
}

bool parseSampleChoice(const std::string& text, SampleChoice& choice) {
    const size_t dot = text.find('.');
    if (dot == std::string::npos) return parseNumber(text, choice.sample);
    return parseNumber(text.substr(0, dot), choice.instrument) &&
           parseNumber(text.substr(dot + 1), choice.sample);
}

// The module's sample number (from 1) the choice names, or 0 with the reason written to problem.
uint32_t sampleNumberOf(const Module& module, const SampleChoice& choice, std::ostream& problem) {
    const uint32_t samples =
        std::min<uint32_t>(module.sampleCount, static_cast<uint32_t>(module.samples.size()));
    if (choice.instrument == 0) {
        if (choice.sample <= samples) return choice.sample;
        problem << "there is no sample " << choice.sample << " (the module has " << module.sampleCount << ")";
        return 0;
    }
    if (module.instruments.empty()) {
        problem << "the module has no instruments: give a sample number";
        return 0;
    }
    if (choice.instrument > module.instruments.size()) {
        problem << "there is no instrument " << choice.instrument << " (the module has "
                << module.instruments.size() << ")";
        return 0;
    }
    const Instrument& instrument = module.instruments[choice.instrument - 1];
    if (module.formatType == kFormatIt) {
        // IT instruments share the song's samples: theirs are those the keys name, in key order.
        std::vector<uint16_t> own;
        for (const uint16_t sample : instrument.sampleOfNote) {
            if (sample != 0 && sample <= samples && std::find(own.begin(), own.end(), sample) == own.end())
                own.push_back(sample);
        }
        if (choice.sample <= own.size()) return own[choice.sample - 1];
        problem << "instrument " << choice.instrument << " has no sample " << choice.sample << " (it has "
                << own.size() << ")";
        return 0;
    }
    const uint64_t index = uint64_t{instrument.firstSample} + choice.sample - 1;
    if (choice.sample > instrument.sampleCount || index >= samples) {
        problem << "instrument " << choice.instrument << " has no sample " << choice.sample << " (it has "
                << instrument.sampleCount << ")";
        return 0;
    }
    return static_cast<uint32_t>(index + 1);
}

uint32_t periodOf(const std::string& name) {
    for (const PeriodEntry& entry : PeriodTable) {
        if (name == entry.name) return entry.period;
    }
    return 0;
}

}  // namespace

int previewCommand(const CommandArgs& args, std::ostream& out, std::ostream& err) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            out << helpText("preview");
            return kExitOk;
        }
    }
    OutputOptions options;
    std::vector<std::string> operands;
    if (!parseOutputOptions(args, options, operands, err, "preview")) {
        err << usageText("preview");
        return kExitUsage;
    }
    SampleChoice choice;
    if (operands.size() != 2 || !parseSampleChoice(operands[1], choice)) {
        err << "tarvex-cli preview: "
            << (operands.size() != 2 ? "FILE and SAMPLE needed"
                                     : "SAMPLE is a number from 1, or I.S for sample S of instrument I")
            << '\n'
            << usageText("preview");
        return kExitUsage;
    }
    const std::string& path = operands[0];
    constexpr std::string_view capture = "capture=";
    std::error_code sameError;
    if (options.device.compare(0, capture.size(), capture) == 0 &&
        std::filesystem::equivalent(options.device.substr(capture.size()), path, sameError)) {
        err << "tarvex-cli preview: the capture file " << path
            << " is the input file; capture into another\n";
        return kExitFailed;
    }

    Player player;
    Module& module = player.createModule();
    const LoadOutcome loaded = loadModuleFile(path, module);
    reportLoad(err, "preview", path, loaded);
    if (!loaded.loaded) return kExitFailed;
    std::ostringstream problem;
    const uint32_t number = sampleNumberOf(module, choice, problem);
    if (number == 0) {
        err << "tarvex-cli preview: " << path << ": " << problem.str() << '\n';
        return kExitFailed;
    }
    const Sample& sample = module.samples[number - 1];
    if (sample.data.empty() || sample.length == 0) {
        err << "tarvex-cli preview: " << path << ": sample " << operands[1] << " holds no data\n";
        return kExitFailed;
    }
    applyOutputOptions(options, player);
    player.device.backend = makeBackend(options.device);

    SamplePreview preview(player);
    std::string_view error = preview.startPreview(sample, periodOf(options.note));
    bool hint = options.device == "sdl";
    if (!error.empty() && !options.fallbackDevice.empty()) {
        err << "tarvex-cli preview: " << deviceMessage(error, player, false) << "; playing on the "
            << options.fallbackDevice << " device instead\n";
        player.device.backend = makeBackend(options.fallbackDevice);
        error = preview.startPreview(sample, periodOf(options.note));
        hint = false;
    }
    if (!error.empty()) {
        err << "tarvex-cli preview: " << deviceMessage(error, player, hint) << '\n';
        return kExitFailed;
    }
    out << path << ": sample " << operands[1] << " \"" << latin1ToUtf8(sample.name.view()) << "\" at "
        << options.note << '\n'
        << std::flush;

    const InterruptGuard interrupts;
    KeyInput keys(&out == &std::cout && stdinIsTerminal());
    const auto start = std::chrono::steady_clock::now();
    while (!preview.stopped() && InterruptGuard::received() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const int key = keys.poll();
        if (key == 3) InterruptGuard::raise(SIGINT);  // Ctrl-C as a key: the terminal is in single-key mode
        if (key == 'q' || key == 3) break;
        if (std::chrono::steady_clock::now() - start >=
            std::chrono::microseconds(options.render.maxMicroseconds)) {
            break;
        }
    }
    error = preview.stopPreview();
    if (!error.empty()) err << "tarvex-cli preview: " << error << '\n';
    if (const int signal = InterruptGuard::received()) return interruptedStatus(signal);
    return kExitOk;
}

}  // namespace tarvex::cli
