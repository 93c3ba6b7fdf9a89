// The per-user settings store on QSettings: organisation "Brennwerks", application "Tarvex" (the
// registry key Software\Brennwerks\Tarvex on Windows, ~/.config/Brennwerks/Tarvex.conf on Linux).
//
// A settings file that cannot be parsed (a line without "=", say) still gives the values that can
// be read, and it does not stop the saving: the save keeps the unreadable file beside the new one
// as Tarvex.conf.bad and writes a clean file. A file that cannot be read or written at all (a
// folder, no permission) leaves the defaults, and the save does nothing, silently.
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
    // Writes the values held now into a fresh file, the unreadable one kept beside it.
    void replaceDamagedFile();

    std::unique_ptr<QSettings> settings_;
    bool damaged_ = false;  // the file could not be parsed when it was read
    bool written_ = false;  // values were written since the key was opened
};

// The strict reading of a stored value: decimal digits only, at most 0xFFFFFFFF.
std::optional<uint32_t> parseStoredNumber(const QString& text);

}  // namespace tarvex::qt
