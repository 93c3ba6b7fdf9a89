// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
// clang-format on

#include <array>
#include <vector>

#include "audio/Mixer.h"
#include "audio/devices/WinDevices.h"
#include "core/Version.h"
#include "ui/OpenFiles.h"
#include "ui/win32/Resources.h"
#include "ui/win32/Win32Common.h"
#include "ui/win32/Win32Windows.h"

namespace tarvex::win32 {
namespace {

constexpr UINT_PTR kStatusTimerId = 1;
constexpr UINT kStatusTimerMs = 1;  // the platform's minimum interval applies
constexpr wchar_t kAboutEntry[] = L"Inf&o \u00fcber Tarvex...";

int fieldId(TextField field) {
    switch (field) {
        case TextField::File:
            return IDC_FILE;
        case TextField::Title:
            return IDC_TITLE;
        case TextField::Errors:
            return IDC_ERRORS;
        case TextField::Tracker:
            return IDC_TRACKER;
        case TextField::Cpu:
            return IDC_CPU;
        case TextField::Index:
            return IDC_INDEX;
        case TextField::Pattern:
            return IDC_PATTERN;
        case TextField::Row:
            return IDC_ROW;
        case TextField::Bpm:
            return IDC_BPM;
        case TextField::Speed:
            return IDC_SPEED;
        case TextField::Time:
            return IDC_TIME;
    }
    return 0;
}

int boxId(OptionBox box) {
    switch (box) {
        case OptionBox::Isp:
            return IDC_ISP;
        case OptionBox::Clipping:
            return IDC_CLIPPING;
        case OptionBox::DeClick:
            return IDC_DECLICK;
        case OptionBox::WideStereo:
            return IDC_WIDESTEREO;
        case OptionBox::LoopsOn:
            return IDC_LOOPSON;
        case OptionBox::LinearFrequ:
            return IDC_LINEARFREQU;
        case OptionBox::UseWaveOut:
            return IDC_USEWAVEOUT;
    }
    return 0;
}

int selectorId(FormatSelector selector) {
    switch (selector) {
        case FormatSelector::Frequency:
            return IDC_FREQUENCY;
        case FormatSelector::Channels:
            return IDC_CHANNELS;
        case FormatSelector::Resolution:
            return IDC_RESOLUTION;
        case FormatSelector::Buffer:
            return IDC_BUFFER;
    }
    return 0;
}

std::optional<OptionBox> boxOf(int id) {
    for (OptionBox box : {OptionBox::Isp, OptionBox::Clipping, OptionBox::DeClick, OptionBox::WideStereo,
                          OptionBox::LoopsOn, OptionBox::LinearFrequ, OptionBox::UseWaveOut}) {
        if (boxId(box) == id) return box;
    }
    return std::nullopt;
}

SIZE clientSize(HWND control) {
    RECT r{};
    GetClientRect(control, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

INT_PTR CALLBACK aboutProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            SetWindowTextW(hwnd, widen("About Tarvex V" + std::string(kVersion)).c_str());
            SetDlgItemTextW(hwnd, 1201, widen("Version " + std::string(kVersion)).c_str());
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(hwnd, 0);
                return TRUE;
            }
            break;
        case WM_CLOSE:
            EndDialog(hwnd, 0);
            return TRUE;
    }
    return FALSE;
}

}  // namespace

void showAboutBox(HWND parent) {
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), parent, aboutProc, 0);
}

std::optional<std::string> commandLinePath(const char* commandLine) {
    if (commandLine == nullptr) return std::nullopt;
    std::string_view line(commandLine);
    // The program's own name comes first, by the same rule as an argument.
    size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    bool quoted = false;
    for (; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (!quoted && (line[i] == ' ' || line[i] == '\t')) break;
    }
    const std::string path = firstArgument(line.substr(i));
    if (path.empty()) return std::nullopt;
    return path;
}

Win32MainWindow::Win32MainWindow(Player& player, AudioControl& audio, SettingsStore* store)
    : player_(player), logic_(player, audio, *this, store) {}

Win32MainWindow::~Win32MainWindow() {
    if (fixedFont_) DeleteObject(fixedFont_);
}

int Win32MainWindow::run(const std::optional<std::string>& path) {
    path_ = path;
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                           dialogProc, reinterpret_cast<LPARAM>(this));
    setSoundOwnerWindow(nullptr);
    logic_.shutdown();
    return result == -1 ? 1 : 0;
}

INT_PTR CALLBACK Win32MainWindow::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        auto* self = reinterpret_cast<Win32MainWindow*>(lParam);
        self->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return self ? self->handle(message, wParam, lParam) : FALSE;
}

void Win32MainWindow::initDialog() {
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(applicationIcon(32)));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(applicationIcon(16)));
    if (HMENU menu = GetSystemMenu(hwnd_, FALSE)) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, IDM_SYSTEM_ABOUT, kAboutEntry);
    }
    setButtonIcon(hwnd_, IDC_REWIND, IconShape::Rewind);
    setButtonIcon(hwnd_, IDC_PLAY, IconShape::Play);
    setButtonIcon(hwnd_, IDC_FASTFORWARD, IconShape::FastForward);
    setButtonIcon(hwnd_, IDC_NEXTENTRY, IconShape::NextEntry);
    setButtonIcon(hwnd_, IDC_PAUSE, IconShape::Pause);
    setButtonIcon(hwnd_, IDC_STOP, IconShape::Stop);

    fixedFont_ = static_cast<HFONT>(GetStockObject(SYSTEM_FIXED_FONT));
    SendDlgItemMessageW(hwnd_, IDC_SAMPLELIST, WM_SETFONT, reinterpret_cast<WPARAM>(fixedFont_), FALSE);
    fixedFont_ = nullptr;  // a stock object is not deleted

    HWND preamp = item(IDC_PREAMP);
    SendMessageW(preamp, TBM_SETRANGEMIN, FALSE, LPARAM(kMinPreamp));
    SendMessageW(preamp, TBM_SETRANGEMAX, FALSE, LPARAM(kMaxPreamp));
    SendMessageW(preamp, TBM_SETTICFREQ, WPARAM(kPreampTick), 0);
    SendMessageW(preamp, TBM_SETPOS, TRUE, LPARAM(kDefaultPreamp));

    setSoundOwnerWindow(hwnd_);
    DragAcceptFiles(hwnd_, TRUE);
    ticksAllowed_ = true;
    setTicking(true);
    logic_.initialise(path_);
}

INT_PTR Win32MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        // The user's input and the window's state wake a resting timer.
        case WM_COMMAND:
        case WM_SYSCOMMAND:
        case WM_DROPFILES:
        case WM_VSCROLL:
        case WM_HSCROLL:
        case WM_SIZE:
        case WM_ACTIVATE:
        case WM_SHOWWINDOW:
            if (ticksAllowed_) logic_.wake();
            break;
    }
    switch (message) {
        case WM_INITDIALOG:
            initDialog();
            // The play button has the focus, not the first read-only field with its text selected.
            SetFocus(item(IDC_PLAY));
            return FALSE;
        case WM_TIMER:
            if (wParam == kStatusTimerId) logic_.statusTick();
            return TRUE;
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == IDM_SYSTEM_ABOUT) {
                logic_.onAbout();
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            requestClose();
            return TRUE;
        case WM_DROPFILES: {
            HDROP drop = reinterpret_cast<HDROP>(wParam);
            std::array<char, 1024> path{};
            const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
            if (count > 0 && DragQueryFileA(drop, 0, path.data(), UINT(path.size())) > 0) {
                logic_.onFilesDropped({std::string(path.data())});
            }
            DragFinish(drop);
            return TRUE;
        }
        case WM_DRAWITEM: {
            const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            const StatusPanels& panels = logic_.panels();
            if (draw->CtlID == IDC_LEFTSCOPE) blitRaster(draw->hDC, panels.leftScope());
            if (draw->CtlID == IDC_RIGHTSCOPE) blitRaster(draw->hDC, panels.rightScope());
            if (draw->CtlID == IDC_METER) blitRaster(draw->hDC, panels.meter());
            return TRUE;
        }
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(applicationIcon(32));
        case WM_SETCURSOR:
            if (busy_) {
                SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
                SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

void Win32MainWindow::onCommand(int id, int notification) {
    if (const std::optional<OptionBox> box = boxOf(id)) {
        if (notification == BN_CLICKED) logic_.onOptionClicked(*box);
        return;
    }
    switch (id) {
        case IDOK:
        case IDCANCEL:
        case IDM_EXIT:
            requestClose();
            break;
        case IDC_REWIND:
            logic_.onRewind();
            break;
        case IDC_PLAY:
            logic_.onPlay();
            break;
        case IDC_FASTFORWARD:
            logic_.onFastForward();
            break;
        case IDC_NEXTENTRY:
            logic_.onNextEntry();
            break;
        case IDC_PAUSE:
            logic_.onPause();
            break;
        case IDC_STOP:
            logic_.onStop();
            break;
        case IDC_SONG:
            if (notification == CBN_SELCHANGE) {
                const LRESULT index = SendDlgItemMessageW(hwnd_, IDC_SONG, CB_GETCURSEL, 0, 0);
                if (index != CB_ERR) logic_.onSongChosen(uint32_t(index));
            }
            break;
        case IDM_OPEN:
            logic_.onOpenFile();
            break;
        case IDM_SAMPLES:
            logic_.onSamples();
            break;
        case IDM_PATTERN:
            logic_.onPattern();
            break;
        case IDM_INFO:
            logic_.onAbout();
            break;
        case IDC_SAMPLELIST:
            if (notification == LBN_DBLCLK) {
                const LRESULT index = SendDlgItemMessageW(hwnd_, IDC_SAMPLELIST, LB_GETCURSEL, 0, 0);
                if (index != LB_ERR) logic_.onSampleDoubleClicked(uint32_t(index));
            }
            break;
    }
}

void Win32MainWindow::requestClose() {
    if (closing_) return;
    closing_ = true;
    logic_.close();
}

void Win32MainWindow::setText(TextField field, const std::string& text) {
    setControlText(item(fieldId(field)), text);
}

void Win32MainWindow::setCaption(const std::string& text) {
    SetWindowTextW(hwnd_, widen(text).c_str());
}

void Win32MainWindow::clearSampleList() {
    SendDlgItemMessageW(hwnd_, IDC_SAMPLELIST, LB_RESETCONTENT, 0, 0);
}

void Win32MainWindow::addSampleLine(const std::string& text) {
    SendDlgItemMessageW(hwnd_, IDC_SAMPLELIST, LB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(widen(text).c_str()));
}

void Win32MainWindow::setBox(OptionBox box, bool checked) {
    CheckDlgButton(hwnd_, boxId(box), checked ? BST_CHECKED : BST_UNCHECKED);
}

void Win32MainWindow::addSelectorEntry(FormatSelector selector, const std::string& text) {
    SendDlgItemMessageW(hwnd_, selectorId(selector), CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(widen(text).c_str()));
}

void Win32MainWindow::selectEntry(FormatSelector selector, uint32_t index) {
    SendDlgItemMessageW(hwnd_, selectorId(selector), CB_SETCURSEL, WPARAM(index), 0);
}

uint32_t Win32MainWindow::selectedEntry(FormatSelector selector) const {
    const LRESULT index = SendDlgItemMessageW(hwnd_, selectorId(selector), CB_GETCURSEL, 0, 0);
    return index < 0 ? 0 : uint32_t(index);
}

uint32_t Win32MainWindow::preampPosition() const {
    return uint32_t(SendDlgItemMessageW(hwnd_, IDC_PREAMP, TBM_GETPOS, 0, 0));
}

PanelSizes Win32MainWindow::panelSizes() const {
    const SIZE scope = clientSize(item(IDC_LEFTSCOPE));
    const SIZE meter = clientSize(item(IDC_METER));
    return PanelSizes{int(scope.cx), int(scope.cy), int(meter.cx), int(meter.cy)};
}

bool Win32MainWindow::isMinimised() const {
    return IsIconic(hwnd_) != 0;
}

void Win32MainWindow::setBusy(bool busy) {
    busy_ = busy;
    if (busy) {
        savedCursor_ = SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
    } else {
        SetCursor(savedCursor_ ? savedCursor_ : LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
        savedCursor_ = nullptr;
    }
}

void Win32MainWindow::showError(const std::string& text) {
    showErrorBox(hwnd_, text);
}

std::optional<std::string> Win32MainWindow::chooseModuleFile() {
    static const char filters[] =
        "Supported Files\0*.mod;*.nst;*.lst;*.stm;*.s3m;*.xm;*.it;*.wow\0"
        "MOD-Files [mod]\0*.mod\0"
        "NoiseTracker-Files [nst]\0*.nst\0"
        "Grave Composer [wow]\0*.wow\0"
        "ScreamTracker-Files [stm]\0*.stm\0"
        "ScreamTracker-Files [s3m]\0*.s3m\0"
        "FastTracker-Files [xm]\0*.xm\0"
        "ImpulseTracker-Files [it]\0*.it\0"
        "Listfiles [lst]\0*.lst\0"
        "All files\0*.*\0";
    std::array<char, 499> path{};
    std::array<char, 99> title{};
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd_;
    ofn.lpstrFilter = filters;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = DWORD(path.size());
    ofn.lpstrFileTitle = title.data();
    ofn.nMaxFileTitle = DWORD(title.size());
    ofn.lpstrTitle = "open Mod-file";
    ofn.lpstrDefExt = "MOD";
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&ofn) || path[0] == 0) return std::nullopt;
    return std::string(path.data());
}

void Win32MainWindow::panelsDrawn(const StatusPanels& panels) {
    // Only the panels whose pixels changed are painted again.
    const PanelChanges& changes = panels.changes();
    if (changes.leftScope) InvalidateRect(item(IDC_LEFTSCOPE), nullptr, FALSE);
    if (changes.rightScope) InvalidateRect(item(IDC_RIGHTSCOPE), nullptr, FALSE);
    if (changes.meter) InvalidateRect(item(IDC_METER), nullptr, FALSE);
}

void Win32MainWindow::openSampleWindow(uint32_t sampleIndex) {
    Win32SampleWindow window(player_, sampleIndex);
    samples_ = &window;
    window.runModal(hwnd_);
    samples_ = nullptr;
}

void Win32MainWindow::openPatternWindow() {
    if (!pattern_) pattern_ = std::make_unique<Win32PatternWindow>(player_);
    pattern_->runModal(hwnd_);
}

void Win32MainWindow::followPosition(uint32_t pattern, uint32_t row) {
    if (pattern_) pattern_->logic().followPosition(pattern, row);
}

void Win32MainWindow::showAbout() {
    showAboutBox(hwnd_);
}

void Win32MainWindow::endDialog() {
    ticksAllowed_ = false;
    setTicking(false);
    EndDialog(hwnd_, 0);
}

void Win32MainWindow::showSongs(const std::vector<std::string>& entries, uint32_t selected, bool enabled) {
    // Refilled only for another module: the user's own choice arrives here too.
    HWND songs = item(IDC_SONG);
    const LRESULT count = SendMessageW(songs, CB_GETCOUNT, 0, 0);
    bool same = count == LRESULT(entries.size());
    for (size_t i = 0; same && i < entries.size(); ++i) {
        std::array<wchar_t, 64> text{};
        if (SendMessageW(songs, CB_GETLBTEXTLEN, WPARAM(i), 0) >= LRESULT(text.size())) {
            same = false;
            break;
        }
        SendMessageW(songs, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text.data()));
        same = widen(entries[i]) == text.data();
    }
    if (!same) {
        SendMessageW(songs, CB_RESETCONTENT, 0, 0);
        for (const std::string& entry : entries)
            SendMessageW(songs, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(entry).c_str()));
    }
    SendMessageW(songs, CB_SETCURSEL, entries.empty() ? WPARAM(-1) : WPARAM(selected), 0);
    EnableWindow(songs, enabled ? TRUE : FALSE);
}

void Win32MainWindow::setTicking(bool on) {
    if (!on) {
        if (ticking_) KillTimer(hwnd_, kStatusTimerId);
        ticking_ = false;
    } else if (ticksAllowed_ && !ticking_) {
        ticking_ = SetTimer(hwnd_, kStatusTimerId, kStatusTimerMs, nullptr) != 0;
    }
}

}  // namespace tarvex::win32
