#include "ui/win32/Win32Common.h"

#include <array>

namespace tarvex::win32 {

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(size_t(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), length);
    return wide;
}

void setControlText(HWND control, const std::string& utf8) {
    const std::wstring text = widen(utf8);
    // The status fields are rewritten every tick; an unchanged text needs no repaint.
    std::array<wchar_t, 512> current{};
    const int length = GetWindowTextW(control, current.data(), int(current.size()));
    if (length >= 0 && size_t(length) < current.size() - 1 &&
        text == std::wstring(current.data(), size_t(length))) {
        return;
    }
    SetWindowTextW(control, text.c_str());
}

namespace {

constexpr int kIconSize = 32;

// Draws one shape with the selected brush, in 32-pixel coordinates scaled by size / 32.
void drawShape(HDC dc, IconShape shape) {
    const auto triangle = [dc](int tip, int base) {
        const POINT points[3] = {{base, 8}, {tip, 16}, {base, 24}};
        Polygon(dc, points, 3);
    };
    const auto rect = [dc](int left, int top, int width, int height) {
        Rectangle(dc, left, top, left + width + 1, top + height + 1);
    };
    switch (shape) {
        case IconShape::Rewind:
            triangle(4, 16);
            triangle(16, 28);
            break;
        case IconShape::Play:
            triangle(24, 10);
            break;
        case IconShape::FastForward:
            triangle(16, 4);
            triangle(28, 16);
            break;
        case IconShape::NextEntry:
            triangle(13, 3);
            triangle(23, 13);
            rect(24, 8, 4, 16);
            break;
        case IconShape::Pause:
            rect(9, 8, 5, 16);
            rect(18, 8, 5, 16);
            break;
        case IconShape::Stop:
            rect(9, 9, 14, 14);
            break;
        case IconShape::ArrowRight: {
            rect(4, 13, 14, 6);
            const POINT head[3] = {{17, 6}, {28, 16}, {17, 26}};
            Polygon(dc, head, 3);
            break;
        }
        case IconShape::ArrowLeft: {
            rect(14, 13, 14, 6);
            const POINT head[3] = {{15, 6}, {4, 16}, {15, 26}};
            Polygon(dc, head, 3);
            break;
        }
    }
}

// An icon from a mask (black where the icon is opaque) and a colour image, both drawn by paint.
template <typename PaintMask, typename PaintColour>
HICON makeIcon(int size, PaintMask paintMask, PaintColour paintColour) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
    HBITMAP colour = CreateCompatibleBitmap(screen, size, size);
    const RECT all{0, 0, size, size};

    HGDIOBJ old = SelectObject(dc, mask);
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    SelectObject(dc, GetStockObject(NULL_PEN));
    paintMask(dc);

    SelectObject(dc, colour);
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    paintColour(dc);
    SelectObject(dc, old);

    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = mask;
    info.hbmColor = colour;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(mask);
    DeleteObject(colour);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return icon;
}

}  // namespace

HICON shapeIcon(IconShape shape) {
    static std::array<HICON, 8> icons{};
    HICON& icon = icons[size_t(shape)];
    if (!icon) {
        // The colour image stays black: the shape is black where the mask lets it through.
        icon = makeIcon(
            kIconSize, [shape](HDC dc) { drawShape(dc, shape); }, [](HDC) {});
    }
    return icon;
}

HICON applicationIcon(int size) {
    static HICON big = nullptr;
    static HICON small = nullptr;
    HICON& icon = size <= 16 ? small : big;
    if (icon) return icon;
    const auto s = [size](int v) { return v * size / 32; };
    const auto disc = [s](HDC dc) { Ellipse(dc, s(1), s(1), s(31), s(31)); };
    icon = makeIcon(size, disc, [s, disc, size](HDC dc) {
        HBRUSH fill = CreateSolidBrush(RGB(20, 20, 28));
        HPEN rim = CreatePen(PS_SOLID, 1, RGB(40, 40, 40));
        HGDIOBJ oldBrush = SelectObject(dc, fill);
        HGDIOBJ oldPen = SelectObject(dc, rim);
        disc(dc);
        HPEN trace = CreatePen(PS_SOLID, size >= 32 ? 2 : 1, RGB(40, 230, 40));
        SelectObject(dc, trace);
        const POINT curve[10] = {{s(5), s(16)},  {s(9), s(4)},   {s(12), s(4)},  {s(14), s(16)},
                                 {s(16), s(28)}, {s(19), s(28)}, {s(21), s(16)}, {s(23), s(9)},
                                 {s(25), s(9)},  {s(27), s(16)}};
        PolyBezier(dc, curve, 10);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(fill);
        DeleteObject(rim);
        DeleteObject(trace);
    });
    return icon;
}

void setButtonIcon(HWND dialog, int id, IconShape shape) {
    SendDlgItemMessageW(dialog, id, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(shapeIcon(shape)));
}

void blitRaster(HDC dc, const Raster& raster) {
    if (raster.width() <= 0 || raster.height() <= 0) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = raster.width();
    info.bmiHeader.biHeight = -raster.height();  // top-down rows, as the raster keeps them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, DWORD(raster.width()), DWORD(raster.height()), 0, 0, 0, UINT(raster.height()),
                      raster.pixels(), &info, DIB_RGB_COLORS);
}

void showErrorBox(HWND parent, const std::string& text) {
    MessageBoxW(parent, widen(text).c_str(), L"Error:", MB_OK | MB_ICONERROR);
}

}  // namespace tarvex::win32
