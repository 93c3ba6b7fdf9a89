// The window as a media player on the session bus (MPRIS 2): the desktop's media keys, panels and
// tools such as playerctl see what plays and control it. Every call is carried out by the window
// logic that the transport buttons use.
#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstdint>

#include "engine/Duration.h"

namespace tarvex {

class Engine;
class MainWindow;

namespace qt {
class QtMainWindow;
}

inline constexpr const char* kMprisObjectPath = "/org/mpris/MediaPlayer2";
inline constexpr const char* kMprisServiceName = "org.mpris.MediaPlayer2.tarvex";
inline constexpr const char* kDesktopEntry = "org.brennwerks.Tarvex";

class MprisService : public QObject {
    Q_OBJECT

   public:
    MprisService(Engine& engine, qt::QtMainWindow& window);
    ~MprisService() override;

    // Offers the player on the session bus as kMprisServiceName, or with ".instancePID" appended
    // when another Tarvex holds that name. False without a session bus; the window works on.
    bool registerOnSessionBus();
    const QString& serviceName() const { return serviceName_; }

    // "Playing", "Paused" or "Stopped".
    QString playbackStatus() const;
    // mpris:trackid, xesam:title (the song's title, else the file name), xesam:url, mpris:length
    // (microseconds, for a song that ends), xesam:genre (the tracker) and xesam:comment (the
    // window's tracker line). Empty when no module is loaded.
    QVariantMap metadata();
    // Song time in microseconds.
    qlonglong position() const;
    bool canGoNext() const;
    bool canPlay() const;

    // Play starts a stopped song and resumes a paused one; on a playing song it does nothing
    // (the window's play button would start it again from the beginning).
    void play();
    void pause();
    void playPause();
    void stop();
    // The next list entry, as the window's button.
    void next();
    // Loads and plays a file, as one dropped on the window.
    void openFile(const QString& path);
    void raise();
    void quit();

    // Sends PropertiesChanged for what differs from the last look. Runs on the window's timer
    // and after every call.
    void refresh();

   private:
    struct Seen {
        QString status;
        uint32_t loadCount = 0;
        bool canGoNext = false;
        bool canPlay = false;
        bool operator==(const Seen&) const = default;
    };
    Seen look() const;
    MainWindow& logic() const;

    Engine& engine_;
    qt::QtMainWindow& window_;
    QString serviceName_;
    Seen seen_;
    // The length of the loaded song, measured once per load.
    uint32_t measuredLoad_ = 0;
    SongDuration duration_;
};

}  // namespace tarvex
