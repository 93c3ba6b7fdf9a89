#include "cli/Messages.h"

#include "audio/Player.h"

namespace tarvex::cli {

std::string withReason(std::string_view text, std::string_view reason) {
    std::string line(text);
    if (!reason.empty()) line += " (" + std::string(reason) + ")";
    return line;
}

void reportLoad(std::ostream& err, std::string_view command, const std::string& path,
                const LoadOutcome& outcome) {
    const std::string message = resultMessage(outcome.result, outcome.sizeDetail);
    if (!outcome.loaded) {
        err << "tarvex-cli " << command << ": " << path << ": " << withReason(message, outcome.reason)
            << '\n';
    } else if (outcome.result != kResultOk) {
        err << "tarvex-cli " << command << ": " << path << ": warning: " << message << '\n';
    }
}

std::string deviceMessage(std::string_view text, const Player& player, bool hintNullDevice) {
    std::string reason = player.device.backend ? player.device.backend->openFailure() : std::string();
    if (hintNullDevice && !reason.empty()) reason += "; try --device null";
    return withReason(text, reason);
}

}  // namespace tarvex::cli
