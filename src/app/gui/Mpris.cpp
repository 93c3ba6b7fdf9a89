#include "Mpris.h"

#include <unistd.h>

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QUrl>

#include "core/TextEncoding.h"
#include "formats/Loader.h"
#include "ui/MainWindow.h"
#include "ui/OpenFiles.h"
#include "ui/qt/QtMainWindow.h"

namespace tarvex {

namespace {

constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
using qt::fromUtf8;

// org.mpris.MediaPlayer2: the application.
class RootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

   public:
    explicit RootAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), service_(service) {}

    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Tarvex"); }
    QString desktopEntry() const { return QString::fromLatin1(kDesktopEntry); }
    QStringList supportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList supportedMimeTypes() const {
        return {QStringLiteral("audio/x-mod"), QStringLiteral("audio/x-nst"),
                QStringLiteral("audio/x-wow"), QStringLiteral("audio/x-s3m"),
                QStringLiteral("audio/x-stm"), QStringLiteral("audio/x-xm"),
                QStringLiteral("audio/x-it"),  QStringLiteral("audio/x-tarvex-list")};
    }

   public slots:
    void Raise() { service_->raise(); }
    void Quit() { service_->quit(); }

   private:
    MprisService* service_;
};

// org.mpris.MediaPlayer2.Player: the transport, the songs of a module and seeking in them; one rate.
class PlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPlay)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ yes)

   public:
    explicit PlayerAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), service_(service) {
        connect(service, &MprisService::seeked, this, &PlayerAdaptor::Seeked);
    }

    QString playbackStatus() const { return service_->playbackStatus(); }
    double rate() const { return 1.0; }
    QVariantMap metadata() const { return service_->metadata(); }
    double volume() const { return 1.0; }
    qlonglong position() const { return service_->position(); }
    bool canGoNext() const { return service_->canGoNext(); }
    bool canGoPrevious() const { return service_->canGoPrevious(); }
    bool canPlay() const { return service_->canPlay(); }
    bool canSeek() const { return service_->canSeek(); }
    bool yes() const { return true; }

   public slots:
    void Play() { service_->play(); }
    void Pause() { service_->pause(); }
    void PlayPause() { service_->playPause(); }
    void Stop() { service_->stop(); }
    void Next() { service_->next(); }
    void Previous() { service_->previous(); }
    void Seek(qlonglong offset) { service_->seek(offset); }
    void SetPosition(const QDBusObjectPath& track, qlonglong position) {
        service_->setPosition(track.path(), position);
    }
    // A file URL plays at once, as a file dropped on the window.
    void OpenUri(const QString& uri) {
        const QUrl url(uri);
        if (!url.isLocalFile()) return;
        service_->openFile(url.toLocalFile());
    }

   signals:
    void Seeked(qlonglong position);

   private:
    MprisService* service_;
};

}  // namespace

MprisService::MprisService(Engine& engine, qt::QtMainWindow& window) : engine_(engine), window_(window) {
    new RootAdaptor(this);
    new PlayerAdaptor(this);
    seen_ = look();
    connect(&window_.statusTimer(), &QTimer::timeout, this, &MprisService::refresh);
}

MprisService::~MprisService() {
    if (serviceName_.isEmpty()) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(serviceName_);
    bus.unregisterObject(QString::fromLatin1(kMprisObjectPath));
}

bool MprisService::registerOnSessionBus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    if (!bus.registerObject(QString::fromLatin1(kMprisObjectPath), this)) return false;
    QString name = QString::fromLatin1(kMprisServiceName);
    if (!bus.registerService(name)) {
        name += QStringLiteral(".instance%1").arg(::getpid());
        if (!bus.registerService(name)) {
            bus.unregisterObject(QString::fromLatin1(kMprisObjectPath));
            return false;
        }
    }
    serviceName_ = name;
    return true;
}

MainWindow& MprisService::logic() const {
    return window_.logic();
}

QString MprisService::playbackStatus() const {
    if (!engine_.module || engine_.outputStopped.load(std::memory_order_relaxed))
        return QStringLiteral("Stopped");
    return logic().paused() ? QStringLiteral("Paused") : QStringLiteral("Playing");
}

QVariantMap MprisService::metadata() {
    QVariantMap map;
    if (!engine_.module || logic().loadedPath().empty()) return map;
    const Module& module = *engine_.module;
    const std::string& path = logic().loadedPath();
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(trackId())));
    QString title = fromUtf8(latin1ToUtf8(module.title.view())).trimmed();
    if (title.isEmpty()) title = fromUtf8(fileNameOf(path));
    const size_t songs = logic().songs().size();
    if (songs > 1) title += QStringLiteral(" (Song %1/%2)").arg(logic().song() + 1).arg(songs);
    map.insert(QStringLiteral("xesam:title"), title);
    map.insert(QStringLiteral("xesam:url"),
               QUrl::fromLocalFile(QFileInfo(QString::fromLocal8Bit(path.c_str())).absoluteFilePath())
                   .toString(QUrl::FullyEncoded));
    if (logic().song() < songs) {
        const SongDuration& duration = logic().songs()[logic().song()].duration;
        if (duration.ended)
            map.insert(QStringLiteral("mpris:length"), qlonglong(duration.milliseconds) * 1000);
    }
    const QString tracker = fromUtf8(latin1ToUtf8(module.trackerName.view()));
    if (!tracker.isEmpty()) map.insert(QStringLiteral("xesam:genre"), QStringList{tracker});
    map.insert(QStringLiteral("xesam:comment"), QStringList{fromUtf8(latin1ToUtf8(trackerLine(module)))});
    return map;
}

QString MprisService::trackId() const {
    if (!engine_.module || logic().loadedPath().empty()) return {};
    QString id = QStringLiteral("/org/brennwerks/Tarvex/track/%1").arg(logic().loadCount());
    // The first song keeps the plain number: a module of one song is one track, as it always was.
    if (logic().song() > 0) id += QStringLiteral("/song%1").arg(logic().song() + 1);
    return id;
}

qlonglong MprisService::position() const {
    return engine_.module ? qlonglong(engine_.state.playTime.load(std::memory_order_relaxed)) : 0;
}

bool MprisService::canGoNext() const {
    return logic().hasNextSong() || logic().listOpen();
}

bool MprisService::canGoPrevious() const {
    return logic().hasPreviousSong();
}

bool MprisService::canPlay() const {
    return engine_.module != nullptr;
}

void MprisService::play() {
    if (playbackStatus() != QStringLiteral("Playing")) logic().onPlay();
    refresh();
}

void MprisService::pause() {
    if (playbackStatus() == QStringLiteral("Playing")) logic().onPause();
    refresh();
}

void MprisService::playPause() {
    if (playbackStatus() == QStringLiteral("Stopped")) {
        logic().onPlay();
    } else {
        logic().onPause();
    }
    refresh();
}

void MprisService::stop() {
    logic().onStop();
    refresh();
}

void MprisService::next() {
    logic().onNextEntry();
    // The window moves on at its next tick; a stopped player would wait for play.
    refresh();
}

void MprisService::previous() {
    logic().onPreviousSong();
    refresh();
}

void MprisService::seek(qlonglong offset) {
    if (!canSeek()) return;
    const std::optional<uint64_t> landed = logic().seekTo(position() + offset);
    refresh();
    if (landed) emit seeked(qlonglong(*landed));
}

void MprisService::setPosition(const QString& track, qlonglong to) {
    // A position meant for another track, or outside this one, is a request that came too late.
    if (!canSeek() || track != trackId() || to < 0 || uint64_t(to) > logic().songLengthMicros()) return;
    const std::optional<uint64_t> landed = logic().seekTo(to);
    refresh();
    if (landed) emit seeked(qlonglong(*landed));
}

void MprisService::openFile(const QString& path) {
    logic().onFilesDropped({QFile::encodeName(path).toStdString()});
    refresh();
}

void MprisService::raise() {
    if (window_.isMinimized()) window_.showNormal();
    window_.show();
    window_.raise();
    window_.activateWindow();
}

void MprisService::quit() {
    window_.accept();
}

MprisService::Seen MprisService::look() const {
    return Seen{playbackStatus(), logic().loadCount(), logic().song(),
                canGoNext(),      canGoPrevious(),     canPlay()};
}

void MprisService::refresh() {
    const Seen now = look();
    if (now == seen_) return;
    if (serviceName_.isEmpty()) {
        seen_ = now;  // nobody to tell
        return;
    }
    QVariantMap changed;
    if (now.status != seen_.status) changed.insert(QStringLiteral("PlaybackStatus"), now.status);
    if (now.loadCount != seen_.loadCount || now.song != seen_.song)
        changed.insert(QStringLiteral("Metadata"), metadata());
    if (now.canGoNext != seen_.canGoNext) changed.insert(QStringLiteral("CanGoNext"), now.canGoNext);
    if (now.canGoPrevious != seen_.canGoPrevious)
        changed.insert(QStringLiteral("CanGoPrevious"), now.canGoPrevious);
    if (now.canPlay != seen_.canPlay) {
        changed.insert(QStringLiteral("CanPlay"), now.canPlay);
        changed.insert(QStringLiteral("CanPause"), now.canPlay);
        changed.insert(QStringLiteral("CanSeek"), now.canPlay);
    }
    seen_ = now;
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kMprisObjectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

}  // namespace tarvex

#include "Mpris.moc"
