#include "ui/win32/RegistrySettingsStore.h"

#include <windows.h>

namespace tarvex::win32 {

RegistrySettingsStore::RegistrySettingsStore(std::string keyPath) : keyPath_(std::move(keyPath)) {}

RegistrySettingsStore::~RegistrySettingsStore() {
    close();
}

bool RegistrySettingsStore::open() {
    close();
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, &disposition) != ERROR_SUCCESS) {
        return false;
    }
    key_ = key;
    return true;
}

std::optional<uint32_t> RegistrySettingsStore::read(std::string_view name) {
    if (!key_) return std::nullopt;
    const std::string valueName(name);
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    const LONG result =
        RegQueryValueExA(key_, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (result != ERROR_SUCCESS || size != sizeof value) return std::nullopt;
    return static_cast<uint32_t>(value);
}

void RegistrySettingsStore::write(std::string_view name, uint32_t value) {
    if (!key_) return;
    const std::string valueName(name);
    const DWORD data = value;
    RegSetValueExA(key_, valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

void RegistrySettingsStore::close() {
    if (!key_) return;
    RegCloseKey(key_);
    key_ = nullptr;
}

}  // namespace tarvex::win32
