// tarvex.exe [FILE]: the windowed player on Windows. FILE (a module or a list file) is loaded and
// played at once. TARVEX_DEVICE=null or capture=OUT.wav plays without the sound device.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <cstdlib>
#include <string>

#include "audio/Player.h"
#include "audio/devices/Devices.h"
#include "ui/PlayerAudio.h"
#include "ui/win32/RegistrySettingsStore.h"
#include "ui/win32/Win32Windows.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);

    using namespace tarvex;
    Player player;
    const char* name = std::getenv("TARVEX_DEVICE");
    player.device.backend = makeBackend(name != nullptr && *name != 0 ? name : kDefaultDeviceName);
    if (!player.device.backend) player.device.backend = makeBackend(kDefaultDeviceName);
    PlayerAudio audio(player);
    win32::RegistrySettingsStore store;

    win32::Win32MainWindow window(player, audio, &store);
    return window.run(win32::commandLinePath(GetCommandLineA()));
}
