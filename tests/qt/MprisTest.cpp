// The media-player service and the window's command line, without a session bus: what the service
// reports and how its calls move the window (tests/desktop/mpris-check.sh drives it over the bus).
#include <gtest/gtest.h>

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "GuiApp.h"
#include "Mpris.h"
#include "engine/Duration.h"
#include "support/Corpus.h"
#include "support/ModWriter.h"
#include "ui/qt/QtSettingsStore.h"

namespace tarvex {
namespace {

const std::string kDemo = std::string(TARVEX_SOURCE_DIR) + "/examples/demo.mod";

TEST(WindowArgs, CommandLines) {
    using Action = WindowArgs::Action;
    struct Case {
        std::vector<std::string> args;
        Action action;
        std::optional<std::string> path;
    };
    const Case cases[] = {
        {{}, Action::run, std::nullopt},
        {{"song.mod"}, Action::run, "song.mod"},
        {{"--help"}, Action::help, std::nullopt},
        {{"-h"}, Action::help, std::nullopt},
        {{"song.mod", "--version"}, Action::version, std::nullopt},
        {{"--", "--help"}, Action::run, "--help"},  // a file of that name
        {{"-"}, Action::run, "-"},
        {{"--loud"}, Action::usageError, std::nullopt},
        {{"a.mod", "b.mod"}, Action::usageError, "a.mod"},
    };
    for (const Case& c : cases) {
        const WindowArgs parsed = parseWindowArgs(c.args);
        const std::string line =
            c.args.empty() ? "(none)" : c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : "");
        EXPECT_EQ(parsed.action, c.action) << line;
        EXPECT_EQ(parsed.path, c.path) << line;
        EXPECT_EQ(parsed.error.empty(), c.action != Action::usageError) << line;
    }
}

class MprisTest : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        app = std::make_unique<GuiApp>(
            "null", std::make_unique<qt::QtSettingsStore>(dir.filePath(QStringLiteral("Tarvex.conf"))));
        app->window->initialise(std::nullopt);
        app->window->show();
        service = std::make_unique<MprisService>(app->player, *app->window);
    }
    void TearDown() override {
        service.reset();
        app->window->shutdown();
    }

    QString status() const { return service->playbackStatus(); }

    QTemporaryDir dir;
    std::unique_ptr<GuiApp> app;
    std::unique_ptr<MprisService> service;
};

TEST_F(MprisTest, NothingLoaded) {
    EXPECT_EQ(status(), QStringLiteral("Stopped"));
    EXPECT_TRUE(service->metadata().isEmpty());
    EXPECT_FALSE(service->canPlay());
    EXPECT_FALSE(service->canGoNext());
    EXPECT_TRUE(service->serviceName().isEmpty());  // never offered on a bus
}

// The service offers the file types the menu entry opens, XM and IT among them.
TEST_F(MprisTest, OffersTheTypesOfTheDesktopEntry) {
    QFile entry(QStringLiteral(TARVEX_SOURCE_DIR "/data/org.brennwerks.Tarvex.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList entryTypes;
    for (const QString& line : QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("MimeType=")))
            entryTypes = line.mid(9).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }
    QStringList offered;
    for (const QDBusAbstractAdaptor* adaptor : service->findChildren<QDBusAbstractAdaptor*>()) {
        const QVariant types = adaptor->property("SupportedMimeTypes");
        if (types.isValid()) offered = types.toStringList();
    }
    for (const char* type : {"audio/x-xm", "audio/x-it"})
        EXPECT_TRUE(entryTypes.contains(QLatin1String(type))) << type;
    entryTypes.sort();
    offered.sort();
    EXPECT_EQ(offered, entryTypes);
}

TEST_F(MprisTest, TransportFollowsTheWindowLogic) {
    service->openFile(QString::fromStdString(kDemo));
    ASSERT_TRUE(service->canPlay());
    struct Step {
        void (MprisService::*call)();
        const char* status;
        bool paused;  // as the window logic sees it
    };
    const Step steps[] = {
        {&MprisService::pause, "Paused", true},        // dropped files play at once
        {&MprisService::pause, "Paused", true},        // pause does not toggle
        {&MprisService::play, "Playing", false},       // play resumes
        {&MprisService::playPause, "Paused", true},    //
        {&MprisService::playPause, "Playing", false},  //
        {&MprisService::stop, "Stopped", false},       //
        {&MprisService::playPause, "Playing", false},  // starts a stopped song
        {&MprisService::stop, "Stopped", false},       //
        {&MprisService::play, "Playing", false},       //
    };
    EXPECT_EQ(status(), QStringLiteral("Playing"));
    for (const Step& step : steps) {
        (service.get()->*step.call)();
        EXPECT_EQ(status(), QString::fromLatin1(step.status));
        EXPECT_EQ(app->window->logic().paused(), step.paused) << step.status;
    }
    // Play on a playing song leaves it where it is; the window's button would start it again.
    QTest::qWait(200);
    const qlonglong before = service->position();
    ASSERT_GT(before, 0);
    service->play();
    EXPECT_GE(service->position(), before);
}

TEST_F(MprisTest, MetadataOfTheLoadedSong) {
    service->openFile(QString::fromStdString(kDemo));
    const QVariantMap map = service->metadata();
    EXPECT_EQ(map.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("tarvex demo"));
    EXPECT_EQ(map.value(QStringLiteral("xesam:url")).toString(),
              QUrl::fromLocalFile(QString::fromStdString(kDemo)).toString(QUrl::FullyEncoded));
    EXPECT_EQ(map.value(QStringLiteral("xesam:genre")).toStringList(),
              QStringList{QStringLiteral("ProTracker")});
    EXPECT_EQ(map.value(QStringLiteral("xesam:comment")).toStringList(),
              QStringList{QStringLiteral("ProTracker [M.K.]")});
    // The demo song ends after about 52 seconds.
    const qlonglong length = map.value(QStringLiteral("mpris:length")).toLongLong();
    EXPECT_GT(length, 50'000'000);
    EXPECT_LT(length, 56'000'000);
    const QString track = map.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
    EXPECT_TRUE(track.startsWith(QStringLiteral("/org/brennwerks/Tarvex/track/"))) << track.toStdString();

    // The same file again is another track; a song without a title shows its file name.
    std::vector<uint8_t> untitled(1084 + 1024, 0);
    std::copy_n("M.K.", 4, untitled.begin() + 1080);
    const auto path = test::writeTempFile("untitled.mod", untitled);
    service->openFile(QString::fromStdString(path.string()));
    const QVariantMap next = service->metadata();
    EXPECT_EQ(next.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("untitled.mod"));
    EXPECT_NE(next.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(), track);

    // A file that fails to load leaves nothing to describe.
    service->openFile(dir.filePath(QStringLiteral("missing.mod")));
    EXPECT_TRUE(service->metadata().isEmpty());
    EXPECT_EQ(status(), QStringLiteral("Stopped"));
}

TEST_F(MprisTest, NextMovesThroughTheList) {
    const std::string lines = kDemo + "\n" + kDemo + "\n";
    const auto list = test::writeTempFile("two.lst", std::vector<uint8_t>(lines.begin(), lines.end()));
    service->openFile(QString::fromStdString(list.string()));
    EXPECT_TRUE(service->canGoNext());
    const QString first =
        service->metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
    service->next();
    // The window moves on at its next tick.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return service->metadata()
                       .value(QStringLiteral("mpris:trackid"))
                       .value<QDBusObjectPath>()
                       .path() != first;
        },
        2000));
    EXPECT_EQ(status(), QStringLiteral("Playing"));
    EXPECT_FALSE(service->canGoNext());  // the last entry closed the list
    service->next();                     // and next does nothing then
    QTest::qWait(50);
    EXPECT_EQ(status(), QStringLiteral("Playing"));
}

TEST_F(MprisTest, TheSongsOfAModuleAreTracksThatNextAndPreviousStepThrough) {
    const auto path = test::writeTempFile("three.mod", test::threeSongMod());
    service->openFile(QString::fromStdString(path.string()));
    const auto track = [&] {
        return service->metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
    };
    const QString first = track();
    EXPECT_EQ(first, service->trackId());
    struct Step {
        void (MprisService::*call)();
        const char* title;
        int song;  // index into the module's songs
        bool canGoNext;
        bool canGoPrevious;
    };
    const Step steps[] = {
        {nullptr, "three songs (Song 1/3)", 0, true, false},
        {&MprisService::next, "three songs (Song 2/3)", 1, true, true},
        {&MprisService::next, "three songs (Song 3/3)", 2, false, true},
        {&MprisService::next, "three songs (Song 3/3)", 2, false, true},  // no list: the last stays
        {&MprisService::previous, "three songs (Song 2/3)", 1, true, true},
        {&MprisService::previous, "three songs (Song 1/3)", 0, true, false},
        {&MprisService::previous, "three songs (Song 1/3)", 0, true, false},
    };
    QStringList tracks;
    for (const Step& step : steps) {
        if (step.call != nullptr) (service.get()->*step.call)();
        const QVariantMap map = service->metadata();
        EXPECT_EQ(map.value(QStringLiteral("xesam:title")).toString(), QString::fromLatin1(step.title));
        EXPECT_EQ(service->canGoNext(), step.canGoNext) << step.title;
        EXPECT_EQ(service->canGoPrevious(), step.canGoPrevious) << step.title;
        EXPECT_EQ(status(), QStringLiteral("Playing")) << step.title;
        const SongDuration& duration = app->window->logic().songs().at(size_t(step.song)).duration;
        EXPECT_EQ(map.value(QStringLiteral("mpris:length")).toLongLong(),
                  qlonglong(duration.milliseconds) * 1000)
            << step.title;
        EXPECT_EQ(app->player.songStart, uint32_t(step.song)) << step.title;
        tracks.push_back(track());
    }
    // The first song keeps the track of the load; every song is a track of its own.
    EXPECT_EQ(tracks[0], first);
    EXPECT_EQ(tracks[6], first);
    EXPECT_NE(tracks[1], first);
    EXPECT_NE(tracks[2], tracks[1]);
    EXPECT_EQ(tracks[4], tracks[1]);
}

TEST_F(MprisTest, SeekAndSetPositionStartAtTheExactFrame) {
    EXPECT_FALSE(service->canSeek());
    service->openFile(QString::fromStdString(kDemo));
    ASSERT_TRUE(service->canSeek());
    EXPECT_FALSE(service->canGoPrevious());
    const qlonglong length = service->metadata().value(QStringLiteral("mpris:length")).toLongLong();
    ASSERT_GT(length, 40'000'000);
    QSignalSpy seeked(service.get(), &MprisService::seeked);
    const uint32_t rate = app->player.settings.Frequency;

    // Requests that do not name this track or lie outside it change nothing.
    const uint64_t untouched = app->player.startFrame;
    service->setPosition(QStringLiteral("/org/brennwerks/Tarvex/track/999"), 1'000'000);
    service->setPosition(service->trackId(), -1);
    service->setPosition(service->trackId(), length + 1);
    EXPECT_EQ(seeked.count(), 0);
    EXPECT_EQ(app->player.startFrame, untouched);

    struct Case {
        const char* what;
        bool absolute;  // SetPosition, else Seek
        qlonglong micros;
        qlonglong landed;  // -1: now + micros, as the position was just before
    };
    const Case cases[] = {
        {"to 20 s", true, 20'000'000, 20'000'000},
        {"to the last microsecond", true, length, length},
        {"to 12.345678 s", true, 12'345'678, 12'345'678},
        {"five seconds on", false, 5'000'000, -1},
        {"far back: the start", false, -1'000'000'000, 0},
        {"far on: the end", false, 1'000'000'000'000, length},
    };
    for (const Case& c : cases) {
        seeked.clear();
        const qlonglong before = service->position();
        if (c.absolute) {
            service->setPosition(service->trackId(), c.micros);
        } else {
            service->seek(c.micros);
        }
        ASSERT_EQ(seeked.count(), 1) << c.what;
        const qlonglong landed = seeked.front().front().toLongLong();
        if (c.landed >= 0) {
            EXPECT_EQ(landed, c.landed) << c.what;
        } else {
            // The position moves on while the call is made.
            EXPECT_GE(landed, before + c.micros) << c.what;
            EXPECT_LT(landed, before + c.micros + 500'000) << c.what;
        }
        EXPECT_EQ(app->player.startFrame, frameAtTime(uint64_t(landed), rate)) << c.what;
        EXPECT_EQ(app->player.songStart, 0u) << c.what;
        // The song goes on from there (the output renders a little ahead of what is heard).
        EXPECT_GE(service->position(), std::min(landed, length) - 100'000) << c.what;
        EXPECT_LE(service->position(), landed + 2'000'000) << c.what;
    }

    // A paused song stays paused where it lands.
    service->setPosition(service->trackId(), 10'000'000);
    service->pause();
    service->setPosition(service->trackId(), 30'000'000);
    EXPECT_EQ(status(), QStringLiteral("Paused"));
    EXPECT_EQ(app->player.startFrame, frameAtTime(30'000'000, rate));
    const qlonglong pausedAt = service->position();
    QTest::qWait(200);
    EXPECT_EQ(service->position(), pausedAt);
}

}  // namespace
}  // namespace tarvex
