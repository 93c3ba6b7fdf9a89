#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWindow>

#include "GuiApp.h"
#include "support/Corpus.h"
#include "support/ModWriter.h"
#include "ui/qt/QtPatternWindow.h"
#include "ui/qt/QtSampleWindow.h"
#include "ui/qt/QtSettingsStore.h"
#include "ui/qt/RasterPanel.h"

namespace tarvex {
namespace {

const std::string kDemo = std::string(TARVEX_SOURCE_DIR) + "/examples/demo.mod";

// A four-channel "M.K." song that ends after its first row: speed 1 and a pattern break out of a
// one-entry order list.
std::vector<uint8_t> shortSong(const std::string& title) {
    std::vector<uint8_t> bytes(1084 + 1024 + 64, 0);
    std::copy(title.begin(), title.end(), bytes.begin());
    bytes[20 + 23] = 32;  // sample 1: 32 words, volume 64, no loop
    bytes[20 + 25] = 64;
    bytes[20 + 29] = 1;
    bytes[950] = 1;
    std::copy_n("M.K.", 4, bytes.begin() + 1080);
    const uint8_t row0[] = {0x01, 0xAC, 0x1F, 0x01,   // sample 1 at period 428, speed 1
                            0x00, 0x00, 0x0D, 0x00};  // pattern break
    std::copy(std::begin(row0), std::end(row0), bytes.begin() + 1084);
    return bytes;
}
constexpr int kPlay = 1;
constexpr int kNext = 3;
constexpr int kPause = 4;
constexpr int kStop = 5;

class QtWindowTest : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        iniPath = dir.filePath(QStringLiteral("Tarvex.conf"));
    }

    std::unique_ptr<GuiApp> openApp() { return openAppAt(iniPath); }
    static std::unique_ptr<GuiApp> openAppAt(const QString& settingsPath) {
        auto app = std::make_unique<GuiApp>("null", std::make_unique<qt::QtSettingsStore>(settingsPath));
        app->window->initialise(std::nullopt);
        app->window->show();
        return app;
    }

    static void drop(qt::QtMainWindow& window, const std::vector<std::string>& paths) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const std::string& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
        mime.setUrls(urls);
        // The application delivers a drop to the widget that accepted the drag's entry.
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &enter);
        QDropEvent event(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &event);
    }

    static QString text(qt::QtMainWindow& w, TextField field) { return w.fieldText(field); }

    QTemporaryDir dir;
    QString iniPath;
};

TEST_F(QtWindowTest, OpensLaidOutInDialogUnits) {
    auto app = openApp();
    qt::QtMainWindow& w = *app->window;
    const DialogBaseUnits u = w.baseUnits();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Tarvex V1.5"));
    EXPECT_EQ(w.client()->size(), QSize(dialogXToPixels(409, u), dialogYToPixels(239, u)));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());  // fixed size
    EXPECT_EQ(w.leftScopePanel()->geometry(), QRect(dialogXToPixels(206, u), dialogYToPixels(145, u),
                                                    dialogXToPixels(81, u), dialogYToPixels(45, u)));
    EXPECT_EQ(w.selector(FormatSelector::Frequency)->count(), 7);
    EXPECT_EQ(w.selector(FormatSelector::Frequency)->currentText(), QStringLiteral("44100 Hz"));
    EXPECT_EQ(w.selector(FormatSelector::Buffer)->currentText(), QStringLiteral("25 ms"));
    EXPECT_EQ(w.preamp()->minimum(), 1);
    EXPECT_EQ(w.preamp()->maximum(), 1024);
    EXPECT_EQ(w.preamp()->value(), 512);
    EXPECT_EQ(w.preamp()->tickInterval(), 64);
    EXPECT_TRUE(w.preamp()->invertedAppearance());  // the minimum at the top
    EXPECT_EQ(w.statusTimer().interval(), 15);
    EXPECT_TRUE(w.statusTimer().isActive());
    QStringList menus;
    for (QAction* a : w.menuBar()->actions()) menus << a->text();
    EXPECT_EQ(menus, (QStringList{QStringLiteral("&File"), QStringLiteral("&?")}));
    w.close();
}

// A window that cannot be resized offers no maximise button; the main and samples windows can be minimised.
TEST_F(QtWindowTest, FixedSizeWindowsHaveNoMaximiseButton) {
    auto app = openApp();
    qt::QtMainWindow& w = *app->window;
    w.logic().loadFile(kDemo);
    qt::QtPatternWindow pattern(app->player, &w);
    qt::QtSampleWindow samples(app->player, 0, &w);
    pattern.show();
    samples.show();
    for (QWidget* window :
         {static_cast<QWidget*>(&w), static_cast<QWidget*>(&pattern), static_cast<QWidget*>(&samples)}) {
        SCOPED_TRACE(window->windowTitle().toStdString());
        EXPECT_EQ(window->minimumSize(), window->maximumSize());
        EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        ASSERT_NE(window->windowHandle(), nullptr);
        EXPECT_FALSE(window->windowHandle()->flags().testFlag(Qt::WindowMaximizeButtonHint));
        EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    }
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(samples.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    pattern.close();
    samples.close();
    w.close();
}

// Idle, the timer stops; the user's input anywhere (here a key on the preamp slider) starts it.
TEST_F(QtWindowTest, TheIdleTimerStopsAndInputStartsIt) {
    auto app = openApp();
    qt::QtMainWindow& w = *app->window;
    // Twice: the input is watched for again each time the timer rests.
    for (int round = 0; round < 2; ++round) {
        for (uint32_t i = 0; i < kQuietTicks; ++i) w.logic().statusTick();
        EXPECT_FALSE(w.statusTimer().isActive()) << round;
        QTest::keyClick(w.preamp(), Qt::Key_Up);
        EXPECT_TRUE(w.statusTimer().isActive()) << round;
    }
    w.close();
}

TEST_F(QtWindowTest, DroppedFileIsShownAndPlaysOnTheNullDevice) {
    auto app = openApp();
    qt::QtMainWindow& w = *app->window;
    drop(w, {kDemo, "/nonexistent/second.mod"});
    EXPECT_EQ(text(w, TextField::Title), QStringLiteral("tarvex demo"));
    EXPECT_EQ(text(w, TextField::File), QStringLiteral("demo.mod"));
    EXPECT_EQ(text(w, TextField::Errors), QStringLiteral("No Errors"));
    EXPECT_EQ(text(w, TextField::Tracker), QStringLiteral("ProTracker [M.K.]"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Tarvex V1.5 - demo.mod"));
    ASSERT_EQ(w.sampleList()->count(), 31);
    EXPECT_EQ(w.sampleList()->item(0)->text(), QStringLiteral("lead square"));
    EXPECT_FALSE(app->player.outputStopped.load());

    // Let the window timer run: the position advances and the scopes show sound.
    QTest::qWait(600);
    EXPECT_NE(text(w, TextField::Index), QString());
    EXPECT_EQ(text(w, TextField::Bpm), QStringLiteral("125"));
    EXPECT_NE(app->player.state.playTime.load(), 0u);
    const Raster& scope = w.logic().panels().leftScope();
    int coloured = 0;
    for (int y = 0; y < scope.height(); ++y)
        for (int x = 0; x < scope.width(); ++x) {
            const Rgb p = scope.pixel(x, y);
            if (p.b == 0 && (p.r != 0 || p.g != 0)) ++coloured;
        }
    EXPECT_GT(coloured, scope.width() / 2);

    // The preamp sets the divisor on the next tick: 4 channels at global volume 64, position 1024.
    w.preamp()->setValue(1024);
    QTest::qWait(60);
    EXPECT_EQ(app->player.mix.mixDivisor.load(), 4 * 64 * 1024 / 512);

    w.transportButton(kPause)->click();
    EXPECT_TRUE(w.logic().paused());
    w.transportButton(kPlay)->click();
    EXPECT_FALSE(w.logic().paused());
    w.transportButton(kStop)->click();
    EXPECT_TRUE(app->player.outputStopped.load());
    QTest::qWait(50);
    EXPECT_TRUE(w.logic().displayFrozen());
    w.transportButton(kPlay)->click();
    EXPECT_FALSE(app->player.outputStopped.load());
    w.close();
    EXPECT_TRUE(app->player.outputStopped.load());  // closing stops
}

TEST_F(QtWindowTest, TheSongSelectorBesideTheTransportChoosesAndFollowsTheSong) {
    auto app = openApp();
    qt::QtMainWindow& w = *app->window;
    QComboBox* songs = w.songSelector();
    EXPECT_FALSE(songs->isEnabled());  // nothing loaded
    EXPECT_EQ(songs->count(), 0);
    // Right of the stop button, inside the "Player Control" group (198, 201, 204, 31).
    const QRect group = qt::dialogRect(198, 201, 204, 31, w.baseUnits());
    EXPECT_TRUE(group.contains(songs->geometry())) << songs->x() << "," << songs->y();
    EXPECT_GT(songs->geometry().left(), w.transportButton(kStop)->geometry().right());

    drop(w, {test::writeTempFile("three.mod", test::threeSongMod()).string()});
    ASSERT_EQ(songs->count(), 3);
    EXPECT_TRUE(songs->isEnabled());
    EXPECT_EQ(songs->currentText(), QStringLiteral("Song 1/3"));
    songs->setFocus();
    QTest::keyClick(songs, Qt::Key_Down);  // the user's choice: the second song, from its start
    EXPECT_EQ(songs->currentText(), QStringLiteral("Song 2/3"));
    EXPECT_EQ(w.logic().song(), 1u);
    EXPECT_EQ(app->player.songStart, 1u);
    EXPECT_FALSE(app->player.outputStopped.load());
    w.transportButton(kNext)->click();  // next steps on to the third song
    EXPECT_EQ(songs->currentText(), QStringLiteral("Song 3/3"));
    EXPECT_EQ(app->player.songStart, 2u);

    drop(w, {kDemo});  // a module of one song: nothing to choose
    EXPECT_EQ(songs->count(), 1);
    EXPECT_EQ(songs->currentText(), QStringLiteral("Song 1/1"));
    EXPECT_FALSE(songs->isEnabled());
    EXPECT_EQ(app->player.songStart, 0u);
}

TEST_F(QtWindowTest, DroppedNamesKeepTheirBytes) {
    struct Row {
        const char* name;  // on disk
        const char* uri;   // as a file manager sends it, after the folder
        QString shown;
    };
    const Row rows[] = {
        {"M\xFCsik.mod", "M%FCsik.mod", QStringLiteral("M\u00FCsik.mod")},         // Latin-1
        {"M\xC3\xBCsik.mod", "M%C3%BCsik.mod", QStringLiteral("M\u00FCsik.mod")},  // UTF-8
        {"with blank.mod", "with%20blank.mod", QStringLiteral("with blank.mod")},
    };
    auto app = openApp();
    qt::QtMainWindow& w = *app->window;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto file = test::writeTempFile(row.name, shortSong("dropped"));
        const QByteArray folder =
            QUrl::fromLocalFile(QString::fromStdString(file.parent_path().string())).toEncoded();
        QMimeData mime;
        mime.setData(QStringLiteral("text/uri-list"), folder + "/" + row.uri + "\r\n");
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&w, &enter);
        QDropEvent event(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&w, &event);
        EXPECT_EQ(text(w, TextField::Errors), QStringLiteral("No Errors"));
        EXPECT_EQ(text(w, TextField::File), row.shown);
        EXPECT_EQ(w.windowTitle(), QStringLiteral("Tarvex V1.5 - ") + row.shown);
        w.transportButton(kStop)->click();
    }
    w.close();
}

TEST_F(QtWindowTest, ListPlaysEntryAfterEntryAsSongsEnd) {
    const auto first = test::writeTempFile("first.mod", shortSong("first"));
    const auto second = test::writeTempFile("second.mod", shortSong("second"));
    const std::string lines = first.string() + "\n" + second.string() + "\n";
    const auto list = test::writeTempFile("songs.lst", std::vector<uint8_t>(lines.begin(), lines.end()));
    auto app = openApp();
    qt::QtMainWindow& w = *app->window;
    drop(w, {list.string()});
    EXPECT_EQ(text(w, TextField::Title), QStringLiteral("first"));
    EXPECT_TRUE(w.logic().listOpen());
    // The output layer stops at the song's end; the window timer then loads and plays the next.
    EXPECT_TRUE(QTest::qWaitFor([&] { return text(w, TextField::Title) == QStringLiteral("second"); }, 5000));
    EXPECT_FALSE(w.logic().listOpen());
    EXPECT_TRUE(QTest::qWaitFor([&] { return app->player.outputStopped.load(); }, 5000));
    QTest::qWait(100);
    EXPECT_EQ(text(w, TextField::Title), QStringLiteral("second"));  // nothing follows the last
    EXPECT_TRUE(app->player.outputStopped.load());
    w.close();
}

TEST_F(QtWindowTest, SettingsRoundTripThroughTheFile) {
    {
        auto app = openApp();
        qt::QtMainWindow& w = *app->window;
        w.selector(FormatSelector::Frequency)->setCurrentIndex(5);
        w.selector(FormatSelector::Buffer)->setCurrentIndex(10);
        w.selector(FormatSelector::Channels)->setCurrentIndex(0);
        w.selector(FormatSelector::Resolution)->setCurrentIndex(2);
        w.box(OptionBox::Isp)->click();
        w.box(OptionBox::UseWaveOut)->click();
        EXPECT_FALSE(app->player.settings.ISP.load());
        QTest::keyClick(&w, Qt::Key_Escape);  // closes and saves like "&Exit"
        EXPECT_FALSE(w.isVisible());
    }
    QSettings file(iniPath, QSettings::IniFormat);
    EXPECT_EQ(file.value(QStringLiteral("PlayerFrequenzy")).toString(), QStringLiteral("5"));
    EXPECT_EQ(file.value(QStringLiteral("ISP")).toString(), QStringLiteral("0"));
    EXPECT_EQ(file.value(QStringLiteral("UseWaveOut")).toString(), QStringLiteral("1"));
    EXPECT_EQ(file.allKeys().size(), 10);

    auto app = openApp();
    qt::QtMainWindow& w = *app->window;
    EXPECT_EQ(w.selector(FormatSelector::Frequency)->currentText(), QStringLiteral("96000 Hz"));
    EXPECT_EQ(w.selector(FormatSelector::Buffer)->currentText(), QStringLiteral("250 ms"));
    EXPECT_EQ(w.selector(FormatSelector::Channels)->currentText(), QStringLiteral("1"));
    EXPECT_EQ(w.selector(FormatSelector::Resolution)->currentText(), QStringLiteral("24 Bit"));
    EXPECT_FALSE(w.box(OptionBox::Isp)->isChecked());
    EXPECT_FALSE(app->player.settings.ISP.load());
    EXPECT_TRUE(w.box(OptionBox::UseWaveOut)->isChecked());
    EXPECT_TRUE(w.box(OptionBox::Clipping)->isChecked());
    w.close();
}

TEST_F(QtWindowTest, StoredTextsThatAreNoNumberCountAsMissing) {
    {
        QSettings file(iniPath, QSettings::IniFormat);
        file.setValue(QStringLiteral("PlayerFrequenzy"), QStringLiteral("0"));
        file.setValue(QStringLiteral("PlayerBuffers"), QStringLiteral("4294967296"));  // above 32 bits
        file.setValue(QStringLiteral("PlayerSamples"), QStringLiteral("-1"));
        file.setValue(QStringLiteral("ISP"), QStringLiteral("off"));
        file.setValue(QStringLiteral("Clipping"), QStringLiteral("4294967295"));  // 0xFFFFFFFF
        file.setValue(QStringLiteral("Click"), QStringLiteral("0"));
    }
    EXPECT_EQ(qt::parseStoredNumber(QStringLiteral("0x10")), std::nullopt);
    EXPECT_EQ(qt::parseStoredNumber(QStringLiteral(" 1")), std::nullopt);
    EXPECT_EQ(qt::parseStoredNumber(QStringLiteral("4294967295")), 0xFFFFFFFFu);
    auto app = openApp();
    qt::QtMainWindow& w = *app->window;
    EXPECT_EQ(w.selector(FormatSelector::Frequency)->currentText(), QStringLiteral("8000 Hz"));
    EXPECT_EQ(w.selector(FormatSelector::Buffer)->currentText(), QStringLiteral("25 ms"));
    EXPECT_EQ(w.selector(FormatSelector::Resolution)->currentText(), QStringLiteral("16 Bit"));
    EXPECT_TRUE(w.box(OptionBox::Isp)->isChecked());
    EXPECT_TRUE(w.box(OptionBox::Clipping)->isChecked());
    EXPECT_FALSE(w.box(OptionBox::DeClick)->isChecked());
    w.close();
}

TEST_F(QtWindowTest, SettingsFileIsMadeWhenTheWindowOpens) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("taken")));
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    struct Row {
        QString path;
        bool made;  // false: the place cannot hold it; the defaults apply and nothing is saved
    };
    const Row rows[] = {
        {iniPath, true},
        {dir.filePath(QStringLiteral("Brennwerks/deeper/Tarvex.conf")), true},  // folders made too
        {dir.filePath(QStringLiteral("plain/Tarvex.conf")), false},             // below a file
        {dir.filePath(QStringLiteral("taken")), false},                         // a folder's name
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        auto app = openAppAt(row.path);
        qt::QtMainWindow& w = *app->window;
        EXPECT_EQ(QFileInfo(row.path).isFile(), row.made);
        if (row.made) {
            EXPECT_EQ(QFileInfo(row.path).size(), 0);
        }
        EXPECT_EQ(w.selector(FormatSelector::Frequency)->currentText(), QStringLiteral("44100 Hz"));
        EXPECT_TRUE(w.box(OptionBox::Isp)->isChecked());
        w.close();
        EXPECT_EQ(QSettings(row.path, QSettings::IniFormat).allKeys().size(), row.made ? 10 : 0);
    }
}

TEST_F(QtWindowTest, PlayHoldsTheFocusAtStart) {
    auto app = openApp();
    qt::QtMainWindow& w = *app->window;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_EQ(QApplication::focusWidget(), w.transportButton(kPlay));
    // Enter on the focused button presses it: the loaded song plays and the window stays.
    w.logic().loadFile(kDemo);
    ASSERT_TRUE(app->player.outputStopped.load());
    QTest::keyClick(w.transportButton(kPlay), Qt::Key_Return);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(app->player.outputStopped.load());
    w.close();
}

TEST_F(QtWindowTest, AboutBoxIsWiderThanItsCaption) {
    auto app = openApp();
    std::unique_ptr<QDialog> box = qt::makeAboutBox(app->window.get());
    box->show();
    EXPECT_EQ(box->windowTitle(), QStringLiteral("About Tarvex V1.5"));
    // The caption in a bold face, with room for at least three caption buttons beside it.
    QFont bold = QApplication::font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    EXPECT_GE(box->width(), metrics.horizontalAdvance(box->windowTitle()) + 3 * metrics.height());
    box->close();
    app->window->close();
}

TEST_F(QtWindowTest, ASettingsFileThatCannotBeParsedIsKeptAsBadAndWrittenAfresh) {
    const QByteArray damaged = "[General]\nPlayerFrequenzy=5\n# mine\nISP=0\n";
    {
        QFile file(iniPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(damaged);
    }
    {
        auto app = openApp();
        qt::QtMainWindow& w = *app->window;
        // The values that can be read are used.
        EXPECT_EQ(w.selector(FormatSelector::Frequency)->currentText(), QStringLiteral("96000 Hz"));
        EXPECT_FALSE(w.box(OptionBox::Isp)->isChecked());
        w.box(OptionBox::DeClick)->click();
        QTest::keyClick(&w, Qt::Key_Escape);
    }
    QFile kept(iniPath + QStringLiteral(".bad"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), damaged);
    QSettings file(iniPath, QSettings::IniFormat);
    EXPECT_EQ(file.status(), QSettings::NoError);
    EXPECT_EQ(file.value(QStringLiteral("PlayerFrequenzy")).toString(), QStringLiteral("5"));
    EXPECT_EQ(file.value(QStringLiteral("ISP")).toString(), QStringLiteral("0"));
    EXPECT_EQ(file.value(QStringLiteral("Click")).toString(), QStringLiteral("0"));  // the change made
    EXPECT_EQ(file.allKeys().size(), 10);
}

TEST_F(QtWindowTest, ASettingsFileThatIsAFolderLeavesTheDefaults) {
    ASSERT_TRUE(QDir().mkpath(iniPath));
    {
        auto app = openApp();
        qt::QtMainWindow& w = *app->window;
        EXPECT_EQ(w.selector(FormatSelector::Frequency)->currentText(), QStringLiteral("44100 Hz"));
        w.box(OptionBox::Isp)->click();
        QTest::keyClick(&w, Qt::Key_Escape);
        EXPECT_FALSE(w.isVisible());
    }
    EXPECT_TRUE(QFileInfo(iniPath).isDir());
    EXPECT_FALSE(QFileInfo::exists(iniPath + QStringLiteral(".bad")));
}

TEST_F(QtWindowTest, EnterOutsideAButtonClosesTheWindow) {
    auto app = openApp();
    qt::QtMainWindow& w = *app->window;
    w.selector(FormatSelector::Frequency)->setFocus();
    QTest::keyClick(&w, Qt::Key_Return);
    EXPECT_FALSE(w.isVisible());
    QSettings file(iniPath, QSettings::IniFormat);
    EXPECT_EQ(file.allKeys().size(), 10);
}

}  // namespace
}  // namespace tarvex
