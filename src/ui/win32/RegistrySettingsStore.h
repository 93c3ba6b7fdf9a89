// The per-user settings store in the Windows registry: key Software\Brennwerks\Tarvex of the
// current user, every value a REG_DWORD.
#pragma once

#include <string>

#include "ui/Settings.h"

struct HKEY__;

namespace tarvex::win32 {

class RegistrySettingsStore : public SettingsStore {
   public:
    // The key path below HKEY_CURRENT_USER; tests use a key of their own.
    explicit RegistrySettingsStore(std::string keyPath = std::string(kSettingsKeyPath));
    ~RegistrySettingsStore() override;

    // Opens the key with full access, creating it (non-volatile) when missing.
    bool open() override;
    // The value's four bytes, whatever its registry type; none when absent or of another size.
    std::optional<uint32_t> read(std::string_view name) override;
    // Stores value as REG_DWORD; a failed write is not reported.
    void write(std::string_view name, uint32_t value) override;
    void close() override;

   private:
    std::string keyPath_;
    HKEY__* key_ = nullptr;
};

}  // namespace tarvex::win32
