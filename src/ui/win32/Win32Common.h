// What the Win32 windows share: texts, icons drawn at start, rasters shown with GDI.
#pragma once

#include <windows.h>

#include <string>

#include "ui/Raster.h"

namespace tarvex::win32 {

// The window texts are UTF-8; the controls take UTF-16.
std::wstring widen(const std::string& utf8);
void setControlText(HWND control, const std::string& utf8);

enum class IconShape { Rewind, Play, FastForward, NextEntry, Pause, Stop, ArrowLeft, ArrowRight };

// 32 x 32 icons: a black shape on a transparent ground. Made once, kept for the program run.
HICON shapeIcon(IconShape shape);
// The application icon in the given size (32 or 16): a dark disc with a green trace.
HICON applicationIcon(int size);
// Puts the icon on an icon button.
void setButtonIcon(HWND dialog, int id, IconShape shape);

// Copies raster to the top-left of dc (a 32-bit top-down DIB of its pixels).
void blitRaster(HDC dc, const Raster& raster);

// The message box of device failures: caption "Error:", an error icon.
void showErrorBox(HWND parent, const std::string& text);

}  // namespace tarvex::win32
