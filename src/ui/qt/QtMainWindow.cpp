#include "ui/qt/QtMainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QUrl>
#include <QVBoxLayout>

#include "audio/Mixer.h"
#include "core/Version.h"
#include "ui/qt/Icons.h"
#include "ui/qt/OpenDialog.h"
#include "ui/qt/RasterPanel.h"
#include "ui/qt/StatusWidgets.h"

#ifdef Q_OS_WIN
#define NOMINMAX
#include <windows.h>
#endif

namespace tarvex::qt {

namespace {

constexpr int kDialogWidthDu = 409;
constexpr int kDialogHeightDu = 239;
constexpr int kLabelHeightDu = 8;
// The system menu's about entry: its command number, whose low four bits the platform may use.
constexpr unsigned kAboutCommand = 16;
const char* const kAboutEntry = "Inf&o über Tarvex...";
constexpr size_t kPlayButton = 1;

}  // namespace

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QFont dialogFont() {
    QFont font(QStringLiteral("MS Sans Serif"), 8);
    if (QFontInfo(font).family() != QStringLiteral("MS Sans Serif")) {
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        font.setPointSize(8);
    }
    return font;
}

DialogBaseUnits dialogBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString alphabet =
        QString::fromLatin1(kBaseUnitAlphabet.data(), qsizetype(kBaseUnitAlphabet.size()));
    return baseUnitsFromFont(metrics.horizontalAdvance(alphabet), metrics.height());
}

QtMainWindow::QtMainWindow(Engine& engine, AudioControl& audio, SettingsStore* store, QWidget* parent)
    : QDialog(parent),
      logic_(engine, audio, *this, store),
      font_(dialogFont()),
      units_(dialogBaseUnits(font_)) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setFont(font_);
    setWindowTitle(fromUtf8(initialCaption()));
    setWindowIcon(applicationIcon());
    setAcceptDrops(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildMenu();
    layout->setMenuBar(menuBar_);
    client_ = new QWidget(this);
    client_->setFixedSize(dialogXToPixels(kDialogWidthDu, units_), dialogYToPixels(kDialogHeightDu, units_));
    layout->addWidget(client_);
    buildControls();
    layout->setSizeConstraint(QLayout::SetFixedSize);

    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kStatusTickMs);
    connect(&timer_, &QTimer::timeout, this, [this] { logic_.statusTick(); });
}

QtMainWindow::~QtMainWindow() = default;

QRect dialogRect(int x, int y, int width, int height, DialogBaseUnits units) {
    const PixelRect r = dialogRectToPixels(x, y, width, height, units);
    return QRect(r.x, r.y, r.width, r.height);
}

QRect QtMainWindow::du(int x, int y, int width, int height) const {
    return dialogRect(x, y, width, height, units_);
}

void QtMainWindow::buildMenu() {
    menuBar_ = new QMenuBar(this);
    QMenu* file = menuBar_->addMenu(QStringLiteral("&File"));
    connect(file->addAction(QStringLiteral("&Open modfile")), &QAction::triggered, this,
            [this] { logic_.onOpenFile(); });
    connect(file->addAction(QStringLiteral("&Samples...")), &QAction::triggered, this,
            [this] { logic_.onSamples(); });
    connect(file->addAction(QStringLiteral("&Pattern...")), &QAction::triggered, this,
            [this] { logic_.onPattern(); });
    file->addSeparator();
    connect(file->addAction(QStringLiteral("&Exit")), &QAction::triggered, this, [this] { requestClose(); });
    QMenu* help = menuBar_->addMenu(QStringLiteral("&?"));
    connect(help->addAction(QStringLiteral("Inf&o...")), &QAction::triggered, this,
            [this] { logic_.onAbout(); });
}

void QtMainWindow::buildControls() {
    QWidget* c = client_;
    const QFontMetrics metrics(font_);
    const auto group = [&](const char* title, int x, int y, int w, int h) {
        auto* box = new CachedGroupBox(QString::fromLatin1(title), c);
        box->setGeometry(du(x, y, w, h));
    };
    const auto label = [&](const char* text, int x, int y) {
        auto* l = new QLabel(QString::fromLatin1(text), c);
        const QRect r = du(x, y, 0, kLabelHeightDu);
        l->setGeometry(r.x(), r.y(), metrics.horizontalAdvance(l->text()) + 2, r.height());
    };
    const auto edit = [&](TextField field, int x, int y, int w, int h, bool centred) {
        if (centred) {
            auto* f = new StatusField(c);
            f->setGeometry(du(x, y, w, h));
            figures_[field] = f;
            return;
        }
        auto* e = new QLineEdit(c);
        e->setReadOnly(true);
        e->setGeometry(du(x, y, w, h));
        e->setTextMargins(0, 0, 0, 0);
        edits_[field] = e;
    };
    const auto check = [&](OptionBox which, const char* text, int x, int y, int w, int h) {
        auto* b = new QCheckBox(QString::fromLatin1(text), c);
        b->setGeometry(du(x, y, w, h));
        connect(b, &QCheckBox::clicked, this, [this, which] { logic_.onOptionClicked(which); });
        boxes_[which] = b;
    };
    const auto combo = [&](FormatSelector which, int x, int y, int w) {
        auto* s = new QComboBox(c);
        s->setEditable(false);
        const QRect r = du(x, y, w, 0);
        s->setGeometry(r.x(), r.y(), r.width(),
                       std::min(s->sizeHint().height(), dialogYToPixels(14, units_)));
        selectors_[which] = s;
    };

    group("Mod Info", 7, 7, 181, 225);
    group("Mixer Control", 198, 7, 204, 78);
    group("Player Data", 198, 91, 204, 103);
    group("Player Control", 198, 201, 204, 31);

    label("File:", 14, 19);
    edit(TextField::File, 38, 19, 139, 12, false);
    label("Title:", 14, 36);
    edit(TextField::Title, 38, 35, 139, 12, false);
    label("Instruments:", 14, 51);
    samples_ = new QListWidget(c);
    samples_->setGeometry(du(13, 62, 163, 127));
    samples_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    samples_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    connect(samples_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { logic_.onSampleDoubleClicked(uint32_t(samples_->row(item))); });
    label("Errors:", 14, 195);
    edit(TextField::Errors, 41, 193, 135, 12, false);
    label("Tracker:", 14, 211);
    edit(TextField::Tracker, 41, 209, 135, 13, false);

    label("ISP", 218, 19);
    check(OptionBox::Isp, "", 205, 19, 8, 9);
    label("Clipping", 245, 19);
    check(OptionBox::Clipping, "", 233, 19, 10, 9);
    label("de click", 286, 19);
    check(OptionBox::DeClick, "", 274, 19, 8, 9);
    label("Wide Stereo", 326, 19);
    check(OptionBox::WideStereo, "", 314, 19, 8, 9);
    label("Loops on", 218, 32);
    check(OptionBox::LoopsOn, "", 205, 32, 9, 10);
    check(OptionBox::LinearFrequ, "linear Frequ.", 254, 32, 55, 10);
    check(OptionBox::UseWaveOut, "Use WaveOut", 314, 32, 61, 10);
    label("Frequency", 205, 53);
    combo(FormatSelector::Frequency, 205, 64, 47);
    label("Channels", 253, 53);
    combo(FormatSelector::Channels, 256, 64, 26);
    label("Resolution", 286, 53);
    combo(FormatSelector::Resolution, 286, 64, 36);
    label("Buffer", 327, 53);
    combo(FormatSelector::Buffer, 326, 64, 47);
    label("Preamp", 374, 19);
    preamp_ = new QSlider(Qt::Vertical, c);
    preamp_->setGeometry(du(377, 27, 18, 53));
    preamp_->setRange(int(kMinPreamp), int(kMaxPreamp));
    preamp_->setValue(int(kDefaultPreamp));
    preamp_->setTickInterval(int(kPreampTick));
    preamp_->setTickPosition(QSlider::TicksLeft);
    // The minimum at the top: further down is a larger divisor, a quieter mix.
    preamp_->setInvertedAppearance(true);
    preamp_->setInvertedControls(true);

    edit(TextField::Cpu, 206, 104, 23, 13, true);
    label("CPU", 210, 117);
    edit(TextField::Index, 232, 104, 35, 13, true);
    label("Index", 240, 117);
    edit(TextField::Pattern, 270, 104, 23, 13, true);
    label("Pattern", 270, 117);
    edit(TextField::Row, 296, 104, 23, 13, true);
    label("Row", 300, 117);
    edit(TextField::Bpm, 322, 104, 23, 13, true);
    label("BPM", 326, 117);
    edit(TextField::Speed, 348, 104, 23, 13, true);
    label("Speed", 349, 117);
    edit(TextField::Time, 374, 104, 23, 13, true);
    label("Time", 378, 117);

    label("Left", 206, 136);
    leftScope_ = new RasterPanel(c);
    leftScope_->setGeometry(du(206, 145, 81, 45));
    meter_ = new RasterPanel(c);
    meter_->setGeometry(du(288, 145, 28, 45));
    label("Right", 379, 136);
    rightScope_ = new RasterPanel(c);
    rightScope_->setGeometry(du(316, 145, 81, 45));
    QPalette black = leftScope_->palette();
    black.setColor(QPalette::Window, Qt::black);
    leftScope_->setPalette(black);
    rightScope_->setPalette(black);
    leftScope_->setAutoFillBackground(true);
    rightScope_->setAutoFillBackground(true);

    const std::array<TransportIcon, 6> icons = {TransportIcon::Rewind,      TransportIcon::Play,
                                                TransportIcon::FastForward, TransportIcon::NextEntry,
                                                TransportIcon::Pause,       TransportIcon::Stop};
    const std::array<const char*, 6> tips = {"Rewind",          "Play",  "Fast forward",
                                             "Next list entry", "Pause", "Stop"};
    for (size_t i = 0; i < transport_.size(); ++i) {
        auto* button = new QPushButton(c);
        button->setGeometry(du(245 + 18 * int(i), 212, 14, 13));
        button->setIcon(transportIcon(icons[i]));
        const int side = std::min(button->width(), button->height()) - 6;
        button->setIconSize(QSize(side, side));
        button->setToolTip(QString::fromLatin1(tips[i]));
        button->setAutoDefault(false);
        transport_[i] = button;
    }
    connect(transport_[0], &QPushButton::clicked, this, [this] { logic_.onRewind(); });
    connect(transport_[1], &QPushButton::clicked, this, [this] { logic_.onPlay(); });
    connect(transport_[2], &QPushButton::clicked, this, [this] { logic_.onFastForward(); });
    connect(transport_[3], &QPushButton::clicked, this, [this] { logic_.onNextEntry(); });
    connect(transport_[4], &QPushButton::clicked, this, [this] { logic_.onPause(); });
    connect(transport_[5], &QPushButton::clicked, this, [this] { logic_.onStop(); });

    // The song of the module, right of the transport; greyed while there is only one.
    songSelector_ = new QComboBox(c);
    songSelector_->setEditable(false);
    songSelector_->setToolTip(QStringLiteral("Song"));
    songSelector_->setEnabled(false);
    const QRect songRect = du(352, 212, 46, 13);
    songSelector_->setGeometry(songRect.x(), songRect.y(), songRect.width(),
                               std::min(songSelector_->sizeHint().height(), songRect.height()));
    connect(songSelector_, &QComboBox::activated, this,
            [this](int index) { logic_.onSongChosen(uint32_t(std::max(index, 0))); });
}

void QtMainWindow::initialise(const std::optional<std::string>& commandLinePath) {
    addSystemMenuEntry();
    leftScope_->setRaster(&logic_.panels().leftScope());
    rightScope_->setRaster(&logic_.panels().rightScope());
    meter_->setRaster(&logic_.panels().meter());
    // The timer fires from the event loop, so starting it first misses nothing.
    ticksAllowed_ = true;
    timer_.start();
    // Play holds the focus, not the read-only File field, which would look editable with it.
    transport_[kPlayButton]->setFocus();
    logic_.initialise(commandLinePath);
}

void QtMainWindow::shutdown() {
    qApp->removeEventFilter(this);
    ticksAllowed_ = false;
    timer_.stop();
    logic_.shutdown();
}

void QtMainWindow::addSystemMenuEntry() {
#ifdef Q_OS_WIN
    HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE);
    if (menu != nullptr) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, kAboutCommand,
                    reinterpret_cast<LPCWSTR>(QString::fromUtf8(kAboutEntry).utf16()));
    }
#endif
}

bool QtMainWindow::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
#ifdef Q_OS_WIN
    if (eventType == "windows_generic_MSG") {
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == kAboutCommand) {
            logic_.onAbout();
            *result = 0;
            return true;
        }
    }
#endif
    return QDialog::nativeEvent(eventType, message, result);
}

void QtMainWindow::contextMenuEvent(QContextMenuEvent* event) {
#ifdef Q_OS_WIN
    QDialog::contextMenuEvent(event);
#else
    // Window managers keep the system menu to themselves: the about entry lives here instead.
    QMenu menu(this);
    connect(menu.addAction(QString::fromUtf8(kAboutEntry)), &QAction::triggered, this,
            [this] { logic_.onAbout(); });
    menu.exec(event->globalPos());
#endif
}

void QtMainWindow::requestClose() {
    if (closing_) return;
    closing_ = true;
    logic_.close();
}

void QtMainWindow::accept() {
    requestClose();
}

void QtMainWindow::reject() {
    requestClose();
}

void QtMainWindow::closeEvent(QCloseEvent* event) {
    requestClose();
    event->accept();
}

void QtMainWindow::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && event->modifiers() == Qt::NoModifier) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
        } else {
            accept();
        }
        return;
    }
    QDialog::keyPressEvent(event);
}

void QtMainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void QtMainWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile()) return;
    event->acceptProposedAction();
#ifdef Q_OS_WIN
    const QByteArray path = QFile::encodeName(urls.front().toLocalFile());
#else
    // The path's own bytes: a name that is not valid UTF-8 (a Latin-1 "ü") would not survive the
    // detour through a QString.
    const QByteArray path = QByteArray::fromPercentEncoding(urls.front().path(QUrl::FullyEncoded).toLatin1());
#endif
    logic_.onFilesDropped({path.toStdString()});
}

QString QtMainWindow::fieldText(TextField which) const {
    const auto figure = figures_.find(which);
    return figure != figures_.end() ? figure->second->text() : edits_.at(which)->text();
}

void QtMainWindow::setText(TextField field, const std::string& text) {
    const QString value = fromUtf8(text);
    const auto figure = figures_.find(field);
    if (figure != figures_.end()) {
        figure->second->setText(value);
        return;
    }
    QLineEdit* edit = edits_.at(field);
    // An unchanged text needs no repaint.
    if (edit->text() != value) {
        edit->setText(value);
        edit->setCursorPosition(0);
    }
}

void QtMainWindow::setCaption(const std::string& text) {
    setWindowTitle(fromUtf8(text));
}

void QtMainWindow::clearSampleList() {
    samples_->clear();
}

void QtMainWindow::addSampleLine(const std::string& text) {
    samples_->addItem(fromUtf8(text));
}

void QtMainWindow::setBox(OptionBox which, bool checked) {
    boxes_.at(which)->setChecked(checked);
}

void QtMainWindow::addSelectorEntry(FormatSelector which, const std::string& text) {
    selectors_.at(which)->addItem(fromUtf8(text));
}

void QtMainWindow::selectEntry(FormatSelector which, uint32_t index) {
    selectors_.at(which)->setCurrentIndex(int(index));
}

uint32_t QtMainWindow::selectedEntry(FormatSelector which) const {
    const int index = selectors_.at(which)->currentIndex();
    return index < 0 ? 0 : uint32_t(index);
}

uint32_t QtMainWindow::preampPosition() const {
    return uint32_t(preamp_->value());
}

PanelSizes QtMainWindow::panelSizes() const {
    PanelSizes sizes;
    sizes.scopeWidth = leftScope_->clientSize().width();
    sizes.scopeHeight = leftScope_->clientSize().height();
    sizes.meterWidth = meter_->clientSize().width();
    sizes.meterHeight = meter_->clientSize().height();
    return sizes;
}

bool QtMainWindow::isMinimised() const {
    return isMinimized();
}

void QtMainWindow::setBusy(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void QtMainWindow::showError(const std::string& text) {
    QMessageBox::critical(this, QStringLiteral("Error:"), fromUtf8(text));
}

std::optional<std::string> QtMainWindow::chooseModuleFile() {
    const std::unique_ptr<QFileDialog> dialog = makeOpenDialog(this);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog->selectedFiles().front()).toStdString();
}

void QtMainWindow::panelsDrawn(const StatusPanels& panels) {
    // Each repaint is a picture sent to the display: only the panels whose pixels changed.
    const PanelChanges& changes = panels.changes();
    if (changes.leftScope) leftScope_->refresh();
    if (changes.rightScope) rightScope_->refresh();
    if (changes.meter) meter_->refresh();
}

void QtMainWindow::openSampleWindow(uint32_t sampleIndex) {
    if (subWindows_ != nullptr) subWindows_->openSamples(this, sampleIndex);
}

void QtMainWindow::openPatternWindow() {
    if (subWindows_ != nullptr) subWindows_->openPattern(this);
}

void QtMainWindow::followPosition(uint32_t pattern, uint32_t row) {
    if (subWindows_ != nullptr) subWindows_->followPosition(pattern, row);
}

void QtMainWindow::showAbout() {
    showAboutBox(this);
}

void QtMainWindow::endDialog() {
    ticksAllowed_ = false;
    timer_.stop();
    done(QDialog::Accepted);
}

void QtMainWindow::setTicking(bool on) {
    if (!on) {
        timer_.stop();
        // While the timer rests, anything the user does starts it again. While it runs, watching
        // every event of the application (each tick's and each repaint's too) would only cost.
        if (ticksAllowed_) qApp->installEventFilter(this);
    } else if (ticksAllowed_ && !timer_.isActive()) {
        qApp->removeEventFilter(this);
        timer_.start();
    }
}

void QtMainWindow::showSongs(const std::vector<std::string>& entries, uint32_t selected, bool enabled) {
    QStringList texts;
    for (const std::string& entry : entries) texts.push_back(fromUtf8(entry));
    // Refilled only for another module: the user's own choice arrives here too.
    QStringList shown;
    for (int i = 0; i < songSelector_->count(); ++i) shown.push_back(songSelector_->itemText(i));
    if (shown != texts) {
        songSelector_->clear();
        songSelector_->addItems(texts);
    }
    songSelector_->setCurrentIndex(texts.isEmpty() ? -1 : int(selected));
    songSelector_->setEnabled(enabled);
}

bool QtMainWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::Drop:
        case QEvent::WindowStateChange:
        case QEvent::Show:
            logic_.wake();
            break;
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

int captionWidth(const QString& caption) {
    // Window managers draw captions in a bold face of their own, often larger than the
    // application's (room for half as wide again), between an icon and up to three buttons, each
    // about as wide as the caption is high, with some padding.
    QFont font = QApplication::font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(caption) * 3 / 2 + 6 * metrics.height();
}

std::unique_ptr<QDialog> makeAboutBox(QWidget* parent) {
    auto box = std::make_unique<QDialog>(parent);
    // A caption with the close box only: minimising or maximising a message has no use.
    box->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                        Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    const QString version = QString::fromLatin1(kVersion.data(), qsizetype(kVersion.size()));
    box->setWindowTitle(QStringLiteral("About Tarvex V%1").arg(version));
    box->setFont(dialogFont());
    auto* layout = new QVBoxLayout(box.get());
    auto* text = new QLabel(
        QStringLiteral("Tarvex\nTracker module player\nVersion %1\n\nMOD, STM and S3M modules").arg(version),
        box.get());
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text);
    auto* ok = new QPushButton(QStringLiteral("OK"), box.get());
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, box.get(), &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    // At least as wide as its caption, which would otherwise be cut off.
    box->setMinimumWidth(captionWidth(box->windowTitle()));
    return box;
}

void showAboutBox(QWidget* parent) {
    makeAboutBox(parent)->exec();
}

}  // namespace tarvex::qt
