#include "ui/qt/QtSampleWindow.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>

#include "ui/qt/Icons.h"
#include "ui/qt/QtMainWindow.h"

namespace tarvex::qt {

namespace {

constexpr int kWidthDu = 362;
constexpr int kHeightDu = 247;
constexpr int kLabelHeightDu = 8;

}  // namespace

WaveformPanel::WaveformPanel(QWidget* parent, SampleWindow& logic) : RasterPanel(parent), logic_(logic) {
    setRaster(&logic_.waveform());
}

void WaveformPanel::paintEvent(QPaintEvent* event) {
    logic_.renderWaveform();
    RasterPanel::paintEvent(event);
}

QtSampleWindow::QtSampleWindow(Player& player, uint32_t sampleIndex, QWidget* parent)
    : QDialog(parent), logic_(player, *this, sampleIndex) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setWindowTitle(QStringLiteral("Samples"));
    const QFont font = dialogFont();
    setFont(font);
    units_ = dialogBaseUnits(font);
    setFixedSize(dialogXToPixels(kWidthDu, units_), dialogYToPixels(kHeightDu, units_));
    buildControls();
}

QRect QtSampleWindow::du(int x, int y, int width, int height) const {
    return dialogRect(x, y, width, height, units_);
}

void QtSampleWindow::buildControls() {
    const QFontMetrics metrics(font());
    const auto label = [&](const char* text, int x, int y, int w = 0) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        const QRect r = du(x, y, w, kLabelHeightDu);
        l->setGeometry(r.x(), r.y(), w > 0 ? r.width() : metrics.horizontalAdvance(l->text()) + 2,
                       r.height());
    };
    const auto edit = [&](SampleControl id, const char* caption, int x, int y, int w, int labelY) {
        label(caption, x, labelY);
        auto* e = new QLineEdit(this);
        e->setReadOnly(true);
        e->setGeometry(du(x, y, w, 12));
        e->setTextMargins(0, 0, 0, 0);
        e->setObjectName(QString::number(int(id)));
        fields_[id] = e;
    };
    const auto iconButton = [&](SampleControl id, const char* text, int x, int y, int w, int h) {
        auto* b = new QPushButton(this);
        b->setGeometry(du(x, y, w, h));
        // The resource text; the button shows only its icon.
        b->setToolTip(QString::fromUtf8(text));
        b->setAccessibleName(QString::fromUtf8(text));
        b->setObjectName(QString::number(int(id)));
        b->setAutoDefault(false);
        buttons_[id] = b;
        return b;
    };

    edit(SampleControl::Index, "Index", 15, 16, 50, 5);
    edit(SampleControl::Length, "Length in bytes", 67, 16, 50, 5);
    edit(SampleControl::LoopStart, "Repeat: Start", 119, 16, 50, 5);
    edit(SampleControl::BaseNote, "Base note", 171, 16, 50, 5);
    edit(SampleControl::Finetune, "FineTune", 223, 16, 50, 5);
    edit(SampleControl::Name, "Name", 15, 43, 102, 32);
    edit(SampleControl::LoopEnd, "Repeat: Stop", 119, 43, 50, 32);
    edit(SampleControl::BaseFrequency, "Basefrequency", 171, 43, 50, 32);
    edit(SampleControl::Volume, "Volume", 224, 43, 50, 32);

    connect(iconButton(SampleControl::Next, "Nächstes Sample", 326, 16, 22, 17), &QPushButton::clicked, this,
            [this] { logic_.nextSample(); });
    connect(iconButton(SampleControl::Previous, "Vorheriges Sample", 326, 38, 22, 17), &QPushButton::clicked,
            this, [this] { logic_.previousSample(); });

    waveform_ = new WaveformPanel(this, logic_);
    waveform_->setGeometry(du(15, 59, 333, 166));
    waveform_->setObjectName(QString::number(int(SampleControl::Waveform)));

    notes_ = new QListWidget(this);
    notes_->setGeometry(du(15, 230, 31, 11));
    notes_->setObjectName(QString::number(int(SampleControl::NoteList)));
    notes_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    notes_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    notes_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    notes_->setUniformItemSizes(true);
    notes_->setFrameShape(QFrame::Box);
    notes_->setLineWidth(1);

    connect(iconButton(SampleControl::PlayOnce, "PlayOnce", 56, 230, 14, 11), &QPushButton::clicked, this,
            [this] { logic_.playOnce(); });
    connect(iconButton(SampleControl::StopPlay, "StopPlay", 72, 230, 14, 11), &QPushButton::clicked, this,
            [this] { logic_.stopPlay(); });

    isp_ = new QCheckBox(this);
    isp_->setGeometry(du(119, 232, 8, 8));
    isp_->setObjectName(QString::number(int(SampleControl::Isp)));
    isp_->setAccessibleName(QStringLiteral("Change_ISP"));
    connect(isp_, &QCheckBox::clicked, this, [this] { logic_.toggleIsp(); });
    label("ISP Enable / Disable", 129, 232, 70);
}

int QtSampleWindow::runModal() {
    const std::pair<SampleControl, QIcon> icons[] = {
        {SampleControl::Next, arrowIcon(ArrowIcon::Right)},
        {SampleControl::Previous, arrowIcon(ArrowIcon::Left)},
        {SampleControl::PlayOnce, transportIcon(TransportIcon::Play)},
        {SampleControl::StopPlay, transportIcon(TransportIcon::Stop)},
    };
    for (const auto& [id, icon] : icons) {
        QPushButton* b = buttons_.at(id);
        b->setIcon(icon);
        const int side = std::max(std::min(b->width(), b->height()) - 4, 8);
        b->setIconSize(QSize(side, side));
    }
    logic_.initialise();
    return exec();
}

void QtSampleWindow::accept() {
    if (closing_) return;
    closing_ = true;
    logic_.close();
}

void QtSampleWindow::reject() {
    accept();
}

void QtSampleWindow::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        // Enter on a button presses it; anywhere else it is the dialog's OK command.
        if (auto* b = qobject_cast<QPushButton*>(focusWidget())) {
            b->click();
        } else {
            accept();
        }
        return;
    }
    QDialog::keyPressEvent(event);
}

void QtSampleWindow::setField(SampleControl id, const std::string& text) {
    QLineEdit* e = fields_.at(id);
    e->setText(fromUtf8(text));
    e->setCursorPosition(0);
}

void QtSampleWindow::setIspBox(bool checked) {
    isp_->setChecked(checked);
}

void QtSampleWindow::addNote(const std::string& name) {
    notes_->addItem(fromUtf8(name));
}

void QtSampleWindow::selectNote(int32_t index) {
    if (index < 0 || index >= notes_->count()) {
        notes_->setCurrentRow(-1);
        return;
    }
    notes_->setCurrentRow(index);
    notes_->scrollToItem(notes_->item(index), QAbstractItemView::PositionAtTop);
}

uint32_t QtSampleWindow::topNote() const {
    const QModelIndex top = notes_->indexAt(QPoint(1, 1));
    if (top.isValid()) return uint32_t(top.row());
    // Scrolled by whole entries: the bar's value is the top entry.
    return uint32_t(std::max(notes_->verticalScrollBar()->value(), 0));
}

int QtSampleWindow::waveformWidth() const {
    return waveform_->clientSize().width();
}

int QtSampleWindow::waveformHeight() const {
    return waveform_->clientSize().height();
}

void QtSampleWindow::waveformDrawn(const Raster&) {
    waveform_->update();
}

void QtSampleWindow::showError(const std::string& text) {
    QMessageBox::critical(this, QStringLiteral("Error:"), fromUtf8(text));
}

void QtSampleWindow::endDialog() {
    QDialog::done(QDialog::Accepted);
}

}  // namespace tarvex::qt
