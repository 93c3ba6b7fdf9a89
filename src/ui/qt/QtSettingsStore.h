// The per-user settings store on QSettings: organisation "Brennwerks", application "Tarvex" (the
// registry key Software\Brennwerks\Tarvex on Windows, ~/.config/Brennwerks/Tarvex.conf on Linux).
#pragma once

#include <QSettings>
#include <QString>
#include <memory>

#include "ui/Settings.h"

namespace tarvex::qt {

class QtSettingsStore : public SettingsStore {
   public:
    // The platform's native store for the current user.
    QtSettingsStore();
    // An INI file at path (tests, portable setups).
    explicit QtSettingsStore(const QString& iniPath);

    bool open() override;
    // A value that is not a 32-bit number (an 8-byte registry value, a text that is not an
    // unsigned decimal below 2^32) counts as missing.
    std::optional<uint32_t> read(std::string_view name) override;
    void write(std::string_view name, uint32_t value) override;
    void close() override;

    QSettings& settings() { return *settings_; }

   private:
    std::unique_ptr<QSettings> settings_;
};

// The strict reading of a stored value: decimal digits only, at most 0xFFFFFFFF.
std::optional<uint32_t> parseStoredNumber(const QString& text);

}  // namespace tarvex::qt
