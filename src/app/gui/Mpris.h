// The window as a media player on the session bus (MPRIS 2): the desktop's media keys, panels and
// tools such as playerctl see what plays and control it. Every call is carried out by the window
// logic that the transport buttons use.
#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstddef>
#include <cstdint>

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
    // mpris:trackid, xesam:title (the song's title, else the file name; "(Song 2/3)" added in a
    // module of several songs), xesam:url, mpris:length (microseconds, of the chosen song, for a
    // song that ends), xesam:genre (the tracker) and xesam:comment (the window's tracker line).
    // Empty when no module is loaded.
    QVariantMap metadata();
    // Each load and each song of a module is a track of its own; empty when no module is loaded.
    QString trackId() const;
    // Song time in microseconds.
    qlonglong position() const;
    bool canGoNext() const;
    bool canGoPrevious() const;
    bool canPlay() const;
    bool canSeek() const { return canPlay(); }

    // Play starts a stopped song and resumes a paused one; on a playing song it does nothing
    // (the window's play button would start it again from the beginning).
    void play();
    void pause();
    void playPause();
    void stop();
    // The next song of the module, else the next list entry, as the window's button.
    void next();
    // The previous song of the module, if there is one.
    void previous();
    // Plays on from offset microseconds after (or before) the current position, exactly, within
    // the song; emits seeked.
    void seek(qlonglong offset);
    // Plays on from position in the track named, when it is the track playing and the position
    // lies within it; otherwise nothing. Emits seeked.
    void setPosition(const QString& track, qlonglong position);
    // Loads and plays a file, as one dropped on the window.
    void openFile(const QString& path);
    void raise();
    void quit();

    // Sends PropertiesChanged for what differs from the last look. Runs on the window's timer
    // and after every call.
    void refresh();

   signals:
    // The position jumped to microseconds (org.mpris.MediaPlayer2.Player.Seeked).
    void seeked(qlonglong position);

   private:
    struct Seen {
        QString status;
        uint32_t loadCount = 0;
        size_t song = 0;
        bool canGoNext = false;
        bool canGoPrevious = false;
        bool canPlay = false;
        bool operator==(const Seen&) const = default;
    };
    Seen look() const;
    MainWindow& logic() const;

    Engine& engine_;
    qt::QtMainWindow& window_;
    QString serviceName_;
    Seen seen_;
};

}  // namespace tarvex
