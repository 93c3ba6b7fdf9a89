// The pattern and samples windows as the main window opens them, on the offscreen platform with
// the silent null device. A modal window runs its own loop: each test schedules what it does
// inside the window before the call that opens it.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <cmath>
#include <functional>

#include "GuiApp.h"
#include "support/Corpus.h"
#include "support/ModWriter.h"
#include "ui/PatternFormat.h"
#include "ui/qt/Icons.h"
#include "ui/qt/PatternList.h"
#include "ui/qt/QtSettingsStore.h"

namespace tarvex {
namespace {

constexpr int kStop = 5;

// The song the viewers are shown: 4 channels, 47 patterns in order, a note on every row of channel
// 0, 31 samples of a sine wave. Sample 18 has a Latin-1 name and plays at C-6; sample 19 is tuned
// to 8463 Hz, which no note matches exactly.
std::vector<uint8_t> viewerSong() {
    test::ModWriter mod = test::ModWriter::withSignature("M.K.");
    mod.patternCount = 47;
    mod.songLength = 47;
    for (uint8_t p = 0; p < 47; ++p) mod.orders[p] = p;
    for (size_t i = 0; i < mod.samples.size(); ++i) {
        test::ModSampleSpec& sample = mod.samples[i];
        sample.name = "sample " + std::to_string(i + 1);
        sample.data.resize(i == 17 ? 3366 : 1000);
        for (size_t k = 0; k < sample.data.size(); ++k)
            sample.data[k] = static_cast<int8_t>(std::lround(100 * std::sin(double(k) / 8)));
    }
    mod.samples[17].name = "Pyh\x84nkatariinantie 14a";  // 0x84: "ä" in the DOS code page
    mod.samples[18].finetune = 2;
    for (uint32_t p = 0; p < 47; ++p)
        for (uint32_t row = 0; row < 64; ++row) mod.setCell(p, row, 0, 1 + row % 31, 428, 0, 0);
    return mod.bytes();
}

class QtViewerTest : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        app = std::make_unique<GuiApp>(
            "null", std::make_unique<qt::QtSettingsStore>(dir.filePath(QStringLiteral("Tarvex.conf"))));
        app->window->initialise(std::nullopt);
        app->window->show();
    }
    void TearDown() override { app->window->close(); }

    qt::QtMainWindow& main() { return *app->window; }
    QAction* fileEntry(const QString& text) {
        for (QAction* a : main().menuBar()->actions().front()->menu()->actions())
            if (a->text() == text) return a;
        return nullptr;
    }
    // Runs body inside the modal loop that open starts; a window left open is closed after 10 s.
    void inside(const std::function<void()>& open, const std::function<void()>& body) {
        bool ran = false;
        QTimer start;
        start.setSingleShot(true);
        QObject::connect(&start, &QTimer::timeout, [&] {
            body();
            ran = true;
        });
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] {
            ADD_FAILURE() << "a viewer was left open";
            if (QWidget* w = QApplication::activeModalWidget()) w->close();
        });
        start.start(0);
        guard.start(10000);
        open();
        // The timers die here: a body whose window never opened cannot run later.
        EXPECT_TRUE(ran) << "no modal window ran";
    }
    // Press, release, double click, release: the events a double click brings.
    static void doubleClick(QWidget* widget, QPoint at) {
        const QPointF local(at);
        const QPointF global(widget->mapToGlobal(at));
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                  QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
            const bool down = type != QEvent::MouseButtonRelease;
            QMouseEvent event(type, local, global, Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(widget, &event);
        }
    }
    void load() {
        main().logic().loadFile(test::writeTempFile("viewers.mod", viewerSong()).string());
        ASSERT_EQ(main().fieldText(TextField::Errors), QStringLiteral("No Errors"));
    }

    QTemporaryDir dir;
    std::unique_ptr<GuiApp> app;
};

TEST_F(QtViewerTest, PatternWindowFollowsStepsAndClosesEveryWay) {
    fileEntry(QStringLiteral("&Pattern..."))->trigger();  // no module: nothing opens
    EXPECT_EQ(app->viewers.patternWindow(), nullptr);

    load();
    main().logic().onPlay();
    ASSERT_FALSE(app->player.outputStopped.load());
    inside([&] { fileEntry(QStringLiteral("&Pattern..."))->trigger(); },
           [&] {
               qt::QtPatternWindow* p = app->viewers.patternWindow();
               ASSERT_NE(p, nullptr);
               EXPECT_TRUE(p->isVisible());
               EXPECT_TRUE(p->isModal());
               EXPECT_EQ(p->windowTitle(), QStringLiteral("Pattern"));
               const DialogBaseUnits u = qt::dialogBaseUnits(qt::dialogFont());
               EXPECT_EQ(p->size(), QSize(dialogXToPixels(432, u), dialogYToPixels(279, u)));
               EXPECT_EQ(p->list()->geometry(), QRect(dialogXToPixels(7, u), dialogYToPixels(51, u),
                                                      dialogXToPixels(418, u), dialogYToPixels(221, u)));
               EXPECT_EQ(p->horizontalExtent(),
                         4 * QFontMetrics(QApplication::font()).horizontalAdvance('H') * 20);
               // The main window's timer hands over the playing position with every status refresh:
               // the pattern and row it has just shown.
               QTest::qWait(800);
               main().logic().onStop();
               const QString pattern = main().fieldText(TextField::Pattern);
               const uint32_t row = main().fieldText(TextField::Row).toUInt(nullptr, 16);
               EXPECT_EQ(p->numberField()->text(), pattern);
               ASSERT_GE(p->list()->selectedLine(), 0);
               const QString selected = p->list()->lineText(p->list()->selectedLine());
               EXPECT_EQ(selected.left(3), QString::asprintf("%02X ", row));
               EXPECT_EQ(p->list()->selectedLine(), int(row - followFirstRow(row)));
               EXPECT_EQ(p->list()->count(), int(64 - followFirstRow(row)));
               EXPECT_EQ(selected.size(), 3 + 4 * 16);

               // Stopped, the buttons browse from pattern 0, with wrap.
               p->previousButton()->click();
               EXPECT_EQ(p->numberField()->text(), QStringLiteral("2E"));
               EXPECT_EQ(p->list()->count(), 64);
               EXPECT_EQ(p->list()->lineText(0).left(3), QStringLiteral("00 "));
               p->nextButton()->click();
               p->nextButton()->click();
               EXPECT_EQ(p->numberField()->text(), QStringLiteral("01"));
               p->closeButton()->click();
           });
    qt::QtPatternWindow* first = app->viewers.patternWindow();
    EXPECT_FALSE(first->isVisible());
    EXPECT_FALSE(first->logic().isOpen());

    // Escape and the close box end it too; every opening reuses the one window from pattern 0.
    inside([&] { fileEntry(QStringLiteral("&Pattern..."))->trigger(); },
           [&] {
               EXPECT_EQ(app->viewers.patternWindow(), first);
               EXPECT_EQ(first->numberField()->text(), QStringLiteral("00"));
               EXPECT_TRUE(first->logic().isOpen());
               QTest::keyClick(first->list(), Qt::Key_Escape);
           });
    EXPECT_FALSE(first->logic().isOpen());
    inside([&] { fileEntry(QStringLiteral("&Pattern..."))->trigger(); }, [&] { first->close(); });
    EXPECT_FALSE(first->isVisible());
    EXPECT_FALSE(first->logic().isOpen());
    // Enter in the list is the dialog's OK command, the "Close" button.
    inside([&] { fileEntry(QStringLiteral("&Pattern..."))->trigger(); },
           [&] {
               first->list()->setFocus();
               QTest::keyClick(first->list(), Qt::Key_Return);
           });
    EXPECT_FALSE(first->isVisible());
    EXPECT_FALSE(first->logic().isOpen());
}

TEST_F(QtViewerTest, PatternWindowShowsTwentyWholeLines) {
    load();
    inside([&] { fileEntry(QStringLiteral("&Pattern..."))->trigger(); },
           [&] {
               qt::QtPatternWindow* p = app->viewers.patternWindow();
               ASSERT_NE(p, nullptr);
               qt::PatternList* list = p->list();
               // Whether a line shows its whole height, and how many lines do.
               const auto whole = [&](int line) {
                   const QRect r = list->lineRect(line);
                   return r.height() > 0 && r.top() >= 0 && r.bottom() < list->viewport()->height();
               };
               const auto wholeLines = [&] {
                   QTest::qWait(10);
                   int lines = 0;
                   for (int i = 0; i < list->count(); ++i) lines += whole(i) ? 1 : 0;
                   return lines;
               };
               EXPECT_GE(wholeLines(), 20);  // page 0 from row 0
               struct Row {
                   uint32_t row;
                   int lines;     // on the page
                   int selected;  // the playing row's line
               };
               for (const Row& r : {Row{63, 20, 19}, Row{60, 20, 16}, Row{30, 45, 11}}) {
                   p->logic().followPosition(1, r.row);
                   ASSERT_EQ(list->count(), r.lines) << r.row;
                   EXPECT_EQ(list->selectedLine(), r.selected) << r.row;
                   EXPECT_GE(wholeLines(), 20) << r.row;
                   EXPECT_TRUE(whole(list->selectedLine())) << r.row;
               }
               // The last page: rows 2C to 3F, every one of them whole.
               p->logic().followPosition(1, 63);
               EXPECT_EQ(list->lineText(0).left(3), QStringLiteral("2C "));
               EXPECT_EQ(list->lineText(19).left(3), QStringLiteral("3F "));
               EXPECT_EQ(wholeLines(), 20);
               p->closeButton()->click();
           });
}

// Counts the paint events a widget receives and the pixels they ask for.
class PaintCounter : public QObject {
   public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;
    int64_t pixels = 0;

   protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        ++paints;
        for (const QRect& r : static_cast<QPaintEvent*>(event)->region())
            pixels += int64_t(r.width()) * r.height();
        return false;
    }
};

// What a widget's window shows of its area now (the pixels moved and painted so far) against a
// paint of that area from scratch, with whatever lies on the widget (its siblings too).
bool showsAsPaintedAfresh(QWidget* widget) {
    const QRect area(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
    const QImage shown =
        widget->screen()
            ->grabWindow(widget->window()->winId(), area.x(), area.y(), area.width(), area.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    const QImage fresh = widget->window()->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
    return !shown.isNull() && shown == fresh;
}

TEST_F(QtViewerTest, FollowingRepaintsOnlyWhatMovedAndKeepsTheLines) {
    load();
    inside([&] { fileEntry(QStringLiteral("&Pattern..."))->trigger(); },
           [&] {
               qt::QtPatternWindow* p = app->viewers.patternWindow();
               ASSERT_NE(p, nullptr);
               qt::PatternList* list = p->list();
               p->logic().followPosition(2, 30);
               QTest::qWait(20);
               PaintCounter viewport(list->viewport());
               PaintCounter bar(list->verticalScrollBar());
               PaintCounter button(p->closeButton());
               PaintCounter field(p->numberField());
               const int64_t linePixels = int64_t(list->viewport()->width()) * list->lineHeight();
               struct Step {
                   uint32_t pattern;
                   uint32_t row;
                   int linesPainted;  // in line heights across the list; -1: the whole page
                   int laidOut;       // lines whose text is laid out anew
               };
               const Step steps[] = {
                   // clang-format off
                   {2, 30, 0, 0},    // the same row: nothing to do
                   {2, 31, 3, 0},    // one row on: the line moved in at the bottom, the old and
                                     // the new selected line
                   {2, 31, 0, 0},
                   {2, 33, 4, 0},    // two rows on: two lines moved in
                   {3, 33, 0, 0},    // another pattern of the same lines: only its number
                   {3, 63, -1, 20},  // the last page: every line new
                   // clang-format on
               };
               for (const Step& step : steps) {
                   const int64_t pixelsBefore = viewport.pixels;
                   const int64_t barBefore = bar.pixels;
                   const int laidOutBefore = list->linesLaidOut();
                   p->logic().followPosition(step.pattern, step.row);
                   QTest::qWait(20);
                   const int64_t painted = viewport.pixels - pixelsBefore;
                   if (step.linesPainted >= 0) {
                       EXPECT_EQ(painted, step.linesPainted * linePixels) << step.row;
                   } else {
                       EXPECT_GE(painted, 20 * linePixels) << step.row;
                   }
                   EXPECT_EQ(list->linesLaidOut() - laidOutBefore, step.laidOut) << step.row;
                   // The scroll bar's range changed: of it only the slider's ends are painted.
                   const QScrollBar* vertical = list->verticalScrollBar();
                   if (step.linesPainted >= 0) {
                       EXPECT_LT(bar.pixels - barBefore, vertical->width() * vertical->height() / 4)
                           << step.row;
                   }
                   EXPECT_TRUE(showsAsPaintedAfresh(list->verticalScrollBar())) << step.row;
                   EXPECT_TRUE(showsAsPaintedAfresh(list->viewport())) << step.row;
                   const uint32_t first = followFirstRow(step.row);
                   ASSERT_EQ(list->count(), int(64 - first)) << step.row;
                   EXPECT_EQ(list->selectedLine(), int(step.row - first)) << step.row;
                   EXPECT_EQ(list->firstVisibleLine(), 0) << step.row;
                   // Each line reads as a page built afresh would.
                   const std::vector<std::string> lines =
                       formatPatternLines(*app->player.module, step.pattern, first);
                   for (int i = 0; i < list->count(); ++i)
                       EXPECT_EQ(list->lineText(i).toStdString(), lines[size_t(i)]) << step.row << " " << i;
               }
               // The rest of the window was not painted.
               EXPECT_EQ(button.paints, 0);
               EXPECT_GT(field.paints, 0);  // the new pattern's number
               p->closeButton()->click();
           });
}

// The list on its own: what the mouse and the keys do to the selection and the scrolling, and
// that the pixels moved on the way show what a fresh paint would.
TEST(PatternListTest, ClicksKeysAndTheWheelMoveTheSelectionAndKeepItInView) {
    qt::PatternList list(nullptr);
    std::vector<QString> lines;
    for (int i = 0; i < 64; ++i) lines.push_back(QString::asprintf("%02X line", i));
    list.setLines(lines);
    list.setLineHeight(12);
    list.setExtent(600);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    // Twenty whole lines and a part of one more.
    list.resize(300, 20 * 12 + 5 + list.height() - list.viewport()->height());
    QTest::qWait(20);
    ASSERT_EQ(list.wholeLinesShown(), 20);
    ASSERT_EQ(list.selectedLine(), -1);

    enum Action { Click, Key, WheelDown, WheelUp };
    struct Case {
        Action action;
        int value;  // the line clicked (on screen, from the first visible) or the key
        int selected;
        int firstVisible;
    };
    const Case cases[] = {
        // clang-format off
        {Click, 3, 3, 0},
        {Key, Qt::Key_Down, 4, 0},
        {Key, Qt::Key_PageDown, 24, 5},   // twenty lines on, the last whole line
        {Key, Qt::Key_Up, 23, 5},
        {Key, Qt::Key_End, 63, 44},
        {Key, Qt::Key_Down, 63, 44},      // no further
        {WheelUp, 0, 63, 41},             // three lines a notch; the selection stays
        {Click, 20, 61, 42},              // the line partly shown comes into view
        {Key, Qt::Key_PageUp, 41, 41},
        {Key, Qt::Key_Home, 0, 0},
        {Key, Qt::Key_Up, 0, 0},
        {WheelDown, 0, 0, 3},
        {Key, Qt::Key_Return, 0, 3},      // left to the dialog
        // clang-format on
    };
    for (const Case& c : cases) {
        switch (c.action) {
            case Click: {
                const QPoint at(10, c.value * list.lineHeight() + 2);
                QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, at);
                break;
            }
            case Key:
                QTest::keyClick(&list, Qt::Key(c.value));
                break;
            case WheelDown:
            case WheelUp: {
                const QPointF at(10, 10);
                QWheelEvent wheel(at, list.viewport()->mapToGlobal(at), QPoint(),
                                  QPoint(0, c.action == WheelDown ? -120 : 120), Qt::NoButton, Qt::NoModifier,
                                  Qt::NoScrollPhase, false);
                QApplication::sendEvent(list.viewport(), &wheel);
                break;
            }
        }
        QTest::qWait(20);
        EXPECT_EQ(list.selectedLine(), c.selected) << c.action << " " << c.value;
        EXPECT_EQ(list.firstVisibleLine(), c.firstVisible) << c.action << " " << c.value;
        EXPECT_TRUE(showsAsPaintedAfresh(list.viewport())) << c.action << " " << c.value;
    }
    // Left and right scroll the lines across.
    QTest::keyClick(&list, Qt::Key_Right);
    QTest::qWait(20);
    EXPECT_GT(list.horizontalScrollBar()->value(), 0);
    EXPECT_TRUE(showsAsPaintedAfresh(list.viewport()));
}

// A screen reader reads the lines as the items of a list, and an item it holds stays right while
// the page moves on under it.
TEST(PatternListTest, AScreenReaderReadsTheLinesAsAList) {
    qt::PatternList list(nullptr);
    const auto page = [](int from, int n) {
        std::vector<QString> lines;
        for (int i = from; i < from + n; ++i) lines.push_back(QString::asprintf("%02X line", i));
        return lines;
    };
    list.setLines(page(0, 64));
    list.setLineHeight(12);
    list.resize(300, 20 * 12 + 5 + 40);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    list.setFocus();
    list.selectLine(2);
    QTest::qWait(20);

    QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(&list);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->role(), QAccessible::List);
    ASSERT_EQ(tree->childCount(), 64);
    QAccessibleInterface* held = tree->child(3);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held, tree->child(3));  // one interface per line
    EXPECT_EQ(tree->indexOfChild(held), 3);
    EXPECT_EQ(held->parent(), tree);

    const struct {
        int line;
        QString name;
        bool selected;
        bool offscreen;
    } before[] = {{2, "02 line", true, false}, {3, "03 line", false, false}, {40, "28 line", false, true}};
    for (const auto& c : before) {
        QAccessibleInterface* item = tree->child(c.line);
        EXPECT_EQ(item->role(), QAccessible::ListItem);
        EXPECT_EQ(item->text(QAccessible::Name), c.name) << c.line;
        EXPECT_EQ(bool(item->state().selected), c.selected) << c.line;
        EXPECT_EQ(bool(item->state().focused), c.selected) << c.line;
        EXPECT_EQ(bool(item->state().offscreen), c.offscreen) << c.line;
    }
    EXPECT_EQ(tree->focusChild(), tree->child(2));
    const QRect onScreen = held->rect();
    EXPECT_EQ(onScreen.height(), 12);
    EXPECT_EQ(tree->childAt(onScreen.center().x(), onScreen.center().y()), held);

    // The page moves on by one line and shrinks: the held item reads its new line, the selection
    // moved with its line, and items past the end are gone.
    list.setLines(page(1, 10));
    EXPECT_EQ(tree->childCount(), 10);
    EXPECT_EQ(held->text(QAccessible::Name), "04 line");
    EXPECT_TRUE(tree->child(1)->state().selected);
    EXPECT_EQ(tree->child(10), nullptr);
    QAccessibleInterface* past = tree->child(9);
    list.setLines(page(1, 5));
    EXPECT_FALSE(past->isValid());
    EXPECT_EQ(tree->indexOfChild(past), -1);
}

// On an X server (desktop.xserver runs this under Xvfb, with and without shared memory) the server
// shows what the windows paint, tick after tick: the kept pictures, the moved pixels and the
// partial repaints of the main window and of the following pattern window add up to a fresh paint.
TEST_F(QtViewerTest, OnAnXServerTheWindowsShowWhatTheyPaint) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs an X server";
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main()));
    load();
    main().statusTimer().stop();  // the ticks come from here
    main().logic().onPlay();
    // The ticks change the player's figures, scopes and meter. (Elsewhere, without a window manager
    // the window is never active, and the toolkit leaves a slider's focus marks of its first
    // paint on screen.)
    QWidget* playerData = nullptr;
    for (QGroupBox* box : main().findChildren<QGroupBox*>())
        if (box->title() == QStringLiteral("Player Data")) playerData = box;
    ASSERT_NE(playerData, nullptr);
    const auto tick = [&] {
        QTest::qWait(50);
        main().logic().statusTick();
        QApplication::processEvents();  // what the tick changed is painted and sent
    };
    for (int step = 0; step < 20; ++step) {
        tick();
        EXPECT_TRUE(showsAsPaintedAfresh(playerData)) << "main window, tick " << step;
    }
    // The pattern window covers part of the main window: from here on only it is looked at.
    inside([&] { main().logic().onPattern(); },
           [&] {
               QWidget* pattern = app->viewers.patternWindow();
               ASSERT_NE(pattern, nullptr);
               ASSERT_TRUE(QTest::qWaitForWindowExposed(pattern));
               QTest::qWait(100);
               const QString firstLine = app->viewers.patternWindow()->list()->lineText(0);
               for (int step = 0; step < 30; ++step) {
                   tick();
                   EXPECT_TRUE(showsAsPaintedAfresh(pattern)) << "pattern window, tick " << step;
               }
               // The page moved on while it was watched.
               EXPECT_NE(app->viewers.patternWindow()->list()->lineText(0), firstLine);
               pattern->close();
           });
}

TEST_F(QtViewerTest, SamplesWindowByDoubleClickAndFromTheMenu) {
    load();
    QListWidget* instruments = main().sampleList();
    ASSERT_EQ(instruments->count(), 31);
    QListWidgetItem* item = instruments->item(17);
    instruments->scrollToItem(item);

    inside([&] { doubleClick(instruments->viewport(), instruments->visualItemRect(item).center()); },
           [&] {
               qt::QtSampleWindow* s = app->viewers.sampleWindow();
               ASSERT_NE(s, nullptr);
               EXPECT_TRUE(s->isModal());
               EXPECT_EQ(s->windowTitle(), QStringLiteral("Samples"));
               const DialogBaseUnits u = qt::dialogBaseUnits(qt::dialogFont());
               EXPECT_EQ(s->size(), QSize(dialogXToPixels(362, u), dialogYToPixels(247, u)));
               // Sample 18: a Latin-1 name, read from the file's 0x84 as "ä".
               EXPECT_EQ(s->field(SampleControl::Index)->text(), QStringLiteral("18"));
               EXPECT_EQ(s->field(SampleControl::Name)->text(),
                         QStringLiteral("Pyh\u00E4nkatariinantie 14a"));
               EXPECT_EQ(s->field(SampleControl::Length)->text(), QStringLiteral("3366"));
               EXPECT_EQ(s->field(SampleControl::BaseNote)->text(), QStringLiteral("C-6"));
               EXPECT_EQ(s->noteList()->count(), 132);
               EXPECT_EQ(s->noteList()->currentItem()->text(), QStringLiteral("C-6"));

               // The waveform is drawn into the frame's client area: black with red, no loop markers.
               QTest::qWait(20);
               const Raster& wave = s->logic().waveform();
               EXPECT_EQ(wave.width(), s->waveformPanel()->clientSize().width());
               int red = 0;
               int blue = 0;
               for (int y = 0; y < wave.height(); ++y)
                   for (int x = 0; x < wave.width(); ++x) {
                       red += wave.pixel(x, y) == kWaveformPen ? 1 : 0;
                       blue += wave.pixel(x, y) == kWaveformLoopPen ? 1 : 0;
                   }
               EXPECT_GT(red, wave.width());
               EXPECT_EQ(blue, 0);

               s->button(SampleControl::Next)->click();
               EXPECT_EQ(s->field(SampleControl::Index)->text(), QStringLiteral("19"));
               EXPECT_EQ(s->field(SampleControl::BaseNote)->text(), QString());  // 8463 Hz: no exact note
               s->button(SampleControl::Previous)->click();
               s->button(SampleControl::Previous)->click();
               EXPECT_EQ(s->field(SampleControl::Index)->text(), QStringLiteral("17"));

               // The player is stopped: PlayOnce takes the device, StopPlay gives it back.
               s->button(SampleControl::PlayOnce)->click();
               EXPECT_TRUE(app->player.device.isOpen());
               EXPECT_FALSE(s->logic().preview().stopped());
               s->button(SampleControl::StopPlay)->click();
               EXPECT_FALSE(app->player.device.isOpen());
               s->button(SampleControl::PlayOnce)->click();
               EXPECT_TRUE(app->player.device.isOpen());
               QTest::keyClick(s->noteList(), Qt::Key_Escape);
           });
    EXPECT_EQ(app->viewers.sampleWindow(), nullptr);
    EXPECT_FALSE(app->player.device.isOpen());  // closing stopped the preview

    // From the menu at the first sample. ISP switched here reaches the main window's box on close.
    const bool isp = app->player.settings.ISP.load();
    inside([&] { fileEntry(QStringLiteral("&Samples..."))->trigger(); },
           [&] {
               qt::QtSampleWindow* s = app->viewers.sampleWindow();
               ASSERT_NE(s, nullptr);
               EXPECT_EQ(s->field(SampleControl::Index)->text(), QStringLiteral("1"));
               EXPECT_EQ(s->ispBox()->isChecked(), isp);
               s->ispBox()->click();
               EXPECT_EQ(app->player.settings.ISP.load(), !isp);
               s->button(SampleControl::PlayOnce)->click();
               EXPECT_TRUE(app->player.device.isOpen());
               // Enter outside a button is the dialog's OK command.
               s->field(SampleControl::Name)->setFocus();
               QTest::keyClick(s->field(SampleControl::Name), Qt::Key_Return);
           });
    EXPECT_EQ(app->viewers.sampleWindow(), nullptr);
    EXPECT_FALSE(app->player.device.isOpen());
    EXPECT_EQ(main().box(OptionBox::Isp)->isChecked(), !isp);

    // The close box, during main playback: PlayOnce does nothing and the player plays on.
    main().logic().onPlay();
    inside([&] { fileEntry(QStringLiteral("&Samples..."))->trigger(); },
           [&] {
               qt::QtSampleWindow* s = app->viewers.sampleWindow();
               ASSERT_NE(s, nullptr);
               s->noteList()->scrollToItem(s->noteList()->item(80), QAbstractItemView::PositionAtTop);
               s->button(SampleControl::PlayOnce)->click();
               EXPECT_EQ(s->noteList()->currentRow(), 72);  // not even the selection moves
               EXPECT_TRUE(s->logic().preview().stopped());
               s->close();
           });
    EXPECT_EQ(app->viewers.sampleWindow(), nullptr);
    EXPECT_FALSE(app->player.outputStopped.load());
    main().transportButton(kStop)->click();
}

TEST_F(QtViewerTest, ArrowIconsPointTheirWay) {
    const QImage right = qt::arrowIcon(qt::ArrowIcon::Right).pixmap(32, 32).toImage();
    const QImage left = qt::arrowIcon(qt::ArrowIcon::Left).pixmap(32, 32).toImage();
    ASSERT_EQ(right.size(), QSize(32, 32));
    // The head is on the pointing side: its upper edge at x = 18 for the right arrow, 13 left.
    EXPECT_GT(qAlpha(right.pixel(18, 8)), 128);
    EXPECT_LT(qAlpha(right.pixel(13, 8)), 16);
    EXPECT_GT(qAlpha(left.pixel(13, 8)), 128);
    EXPECT_LT(qAlpha(left.pixel(18, 8)), 16);
    EXPECT_LT(qGray(right.pixel(16, 16)), 64);  // dark on a transparent ground
    EXPECT_EQ(qAlpha(right.pixel(1, 1)), 0);
    EXPECT_EQ(qAlpha(left.pixel(30, 30)), 0);
}

}  // namespace
}  // namespace tarvex
