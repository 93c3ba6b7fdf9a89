#include "ui/win32/Resources.h"
#include "ui/win32/Win32Common.h"
#include "ui/win32/Win32Windows.h"

namespace tarvex::win32 {

// ---- pattern window

void Win32PatternWindow::runModal(HWND parent) {
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PATTERN), parent, dialogProc,
                    reinterpret_cast<LPARAM>(this));
    // However the dialog ended, following stops with it.
    logic_.close();
    hwnd_ = nullptr;
}

INT_PTR CALLBACK Win32PatternWindow::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        reinterpret_cast<Win32PatternWindow*>(lParam)->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<Win32PatternWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return self ? self->handle(message, wParam, lParam) : FALSE;
}

INT_PTR Win32PatternWindow::handle(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            setButtonIcon(hwnd_, IDC_PATTERN_PREVIOUS, IconShape::ArrowLeft);
            setButtonIcon(hwnd_, IDC_PATTERN_NEXT, IconShape::ArrowRight);
            logic_.initialise();
            // letterHWidth measures in the list's default font; the fixed font comes after.
            SendMessageW(list(), WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(SYSTEM_FIXED_FONT)),
                         TRUE);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                case IDCANCEL:
                    logic_.close();
                    EndDialog(hwnd_, 0);
                    return TRUE;
                case IDC_PATTERN_PREVIOUS:
                    logic_.previousPattern();
                    return TRUE;
                case IDC_PATTERN_NEXT:
                    logic_.nextPattern();
                    return TRUE;
            }
            break;
        case WM_CLOSE:
            logic_.close();
            EndDialog(hwnd_, 0);
            return TRUE;
    }
    return FALSE;
}

void Win32PatternWindow::setPatternNumber(const std::string& text) {
    setControlText(GetDlgItem(hwnd_, IDC_PATTERN_NUMBER), text);
}

void Win32PatternWindow::setListRedraw(bool on) {
    SendMessageW(list(), WM_SETREDRAW, on ? TRUE : FALSE, 0);
    if (on) InvalidateRect(list(), nullptr, TRUE);
}

void Win32PatternWindow::clearLines() {
    SendMessageW(list(), LB_RESETCONTENT, 0, 0);
}

void Win32PatternWindow::addLine(const std::string& text) {
    SendMessageW(list(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(text).c_str()));
}

void Win32PatternWindow::selectLine(uint32_t index) {
    SendMessageW(list(), LB_SETCURSEL, WPARAM(index), 0);
}

void Win32PatternWindow::setHorizontalExtent(int pixels) {
    SendMessageW(list(), LB_SETHORIZONTALEXTENT, WPARAM(pixels), 0);
}

int Win32PatternWindow::letterHWidth() const {
    HDC dc = GetDC(list());
    SIZE size{};
    GetTextExtentPoint32A(dc, "H", 1, &size);
    ReleaseDC(list(), dc);
    return int(size.cx);
}

// ---- samples window

void Win32SampleWindow::runModal(HWND parent) {
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SAMPLES), parent, dialogProc,
                    reinterpret_cast<LPARAM>(this));
    hwnd_ = nullptr;
}

INT_PTR CALLBACK Win32SampleWindow::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        reinterpret_cast<Win32SampleWindow*>(lParam)->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<Win32SampleWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return self ? self->handle(message, wParam, lParam) : FALSE;
}

INT_PTR Win32SampleWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            setButtonIcon(hwnd_, IDC_SAMPLE_NEXT, IconShape::ArrowRight);
            setButtonIcon(hwnd_, IDC_SAMPLE_PREVIOUS, IconShape::ArrowLeft);
            setButtonIcon(hwnd_, IDC_SAMPLE_PLAYONCE, IconShape::Play);
            setButtonIcon(hwnd_, IDC_SAMPLE_STOPPLAY, IconShape::Stop);
            logic_.initialise();
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                case IDCANCEL:
                    if (!closing_) {
                        closing_ = true;
                        logic_.close();
                    }
                    return TRUE;
                case IDC_SAMPLE_NEXT:
                    logic_.nextSample();
                    return TRUE;
                case IDC_SAMPLE_PREVIOUS:
                    logic_.previousSample();
                    return TRUE;
                case IDC_SAMPLE_PLAYONCE:
                    logic_.playOnce();
                    return TRUE;
                case IDC_SAMPLE_STOPPLAY:
                    logic_.stopPlay();
                    return TRUE;
                case IDC_SAMPLE_ISP:
                    if (HIWORD(wParam) == BN_CLICKED) logic_.toggleIsp();
                    return TRUE;
            }
            break;
        case WM_CLOSE:
            if (!closing_) {
                closing_ = true;
                logic_.close();
            }
            return TRUE;
        case WM_DRAWITEM: {
            const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (draw->CtlID == IDC_SAMPLE_WAVEFORM) blitRaster(draw->hDC, logic_.renderWaveform());
            return TRUE;
        }
    }
    return FALSE;
}

void Win32SampleWindow::setField(SampleControl field, const std::string& text) {
    setControlText(GetDlgItem(hwnd_, int(field)), text);
}

void Win32SampleWindow::setIspBox(bool checked) {
    CheckDlgButton(hwnd_, IDC_SAMPLE_ISP, checked ? BST_CHECKED : BST_UNCHECKED);
}

void Win32SampleWindow::addNote(const std::string& name) {
    SendDlgItemMessageW(hwnd_, IDC_SAMPLE_NOTELIST, LB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(widen(name).c_str()));
}

void Win32SampleWindow::selectNote(int32_t index) {
    SendDlgItemMessageW(hwnd_, IDC_SAMPLE_NOTELIST, LB_SETCURSEL, WPARAM(index), 0);
    if (index >= 0) SendDlgItemMessageW(hwnd_, IDC_SAMPLE_NOTELIST, LB_SETTOPINDEX, WPARAM(index), 0);
}

uint32_t Win32SampleWindow::topNote() const {
    const LRESULT top = SendDlgItemMessageW(hwnd_, IDC_SAMPLE_NOTELIST, LB_GETTOPINDEX, 0, 0);
    return top < 0 ? 0 : uint32_t(top);
}

RECT Win32SampleWindow::waveformClient() const {
    RECT r{};
    GetClientRect(GetDlgItem(hwnd_, IDC_SAMPLE_WAVEFORM), &r);
    return r;
}

int Win32SampleWindow::waveformWidth() const {
    const RECT r = waveformClient();
    return int(r.right - r.left);
}

int Win32SampleWindow::waveformHeight() const {
    const RECT r = waveformClient();
    return int(r.bottom - r.top);
}

void Win32SampleWindow::waveformDrawn(const Raster&) {
    InvalidateRect(GetDlgItem(hwnd_, IDC_SAMPLE_WAVEFORM), nullptr, FALSE);
}

void Win32SampleWindow::showError(const std::string& text) {
    showErrorBox(hwnd_, text);
}

void Win32SampleWindow::endDialog() {
    EndDialog(hwnd_, 0);
}

}  // namespace tarvex::win32
