// The media-player service and the window's command line, without a session bus: what the service
// reports and how its calls move the window (tests/desktop/mpris-check.sh drives it over the bus).
#include <gtest/gtest.h>

#include <QDBusObjectPath>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include "GuiApp.h"
#include "Mpris.h"
#include "support/Corpus.h"
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

}  // namespace
}  // namespace tarvex
