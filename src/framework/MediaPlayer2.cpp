#include "framework/MediaPlayer2.h"

#include <unistd.h>
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFile>
#include <QStringList>
#include <QUrl>
#include <cstdlib>

namespace lunavue {
namespace {

constexpr const char* kPath = "/org/mpris/MediaPlayer2";
constexpr const char* kRoot = "org.mpris.MediaPlayer2";
constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";

QString StatusText(MediaPlayer2::Status s) {
    switch (s) {
        case MediaPlayer2::Status::kPlaying:
            return QStringLiteral("Playing");
        case MediaPlayer2::Status::kPaused:
            return QStringLiteral("Paused");
        case MediaPlayer2::Status::kStopped:
            break;
    }
    return QStringLiteral("Stopped");
}

// org.mpris.MediaPlayer2: who the player is.
class RootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ Yes)
    Q_PROPERTY(bool CanRaise READ Yes)
    Q_PROPERTY(bool CanSetFullscreen READ No)
    Q_PROPERTY(bool Fullscreen READ No)
    Q_PROPERTY(bool HasTrackList READ No)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ UriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ MimeTypes)

  public:
    explicit RootAdaptor(MediaPlayer2* player) : QDBusAbstractAdaptor(player), player_(player) {}
    bool Yes() const { return true; }
    bool No() const { return false; }
    QString Identity() const { return QStringLiteral("Lunavue"); }
    QString DesktopEntry() const { return QStringLiteral("org.lunavue.Lunavue"); }
    QStringList UriSchemes() const { return {QStringLiteral("file")}; }
    QStringList MimeTypes() const { return {QStringLiteral("video/x-film-cpk")}; }

  public slots:
    void Raise() { player_->Raise(); }
    void Quit() { player_->Ask(MediaPlayer2::Request::kQuit); }

  private:
    MediaPlayer2* player_;
};

// org.mpris.MediaPlayer2.Player: what it plays, and how to steer it.
class PlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(QString LoopStatus READ LoopStatus WRITE SetLoopStatus)
    Q_PROPERTY(double Rate READ One WRITE Ignore)
    Q_PROPERTY(double MinimumRate READ One)
    Q_PROPERTY(double MaximumRate READ One)
    Q_PROPERTY(bool Shuffle READ No WRITE IgnoreBool)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ No)
    Q_PROPERTY(bool CanPlay READ HasMovie)
    Q_PROPERTY(bool CanPause READ HasMovie)
    Q_PROPERTY(bool CanSeek READ HasMovie)
    Q_PROPERTY(bool CanControl READ Yes)

  public:
    explicit PlayerAdaptor(MediaPlayer2* player) : QDBusAbstractAdaptor(player), player_(player) {}
    QString PlaybackStatus() const { return StatusText(player_->Now().status); }
    QString LoopStatus() const {
        return player_->Now().loop ? QStringLiteral("Track") : QStringLiteral("None");
    }
    void SetLoopStatus(const QString& s) { player_->SetLoop(s != QLatin1String("None")); }
    double One() const { return 1.0; }
    void Ignore(double) {}
    void IgnoreBool(bool) {}
    bool No() const { return false; }
    bool Yes() const { return true; }
    QVariantMap Metadata() const { return player_->Metadata(); }
    double Volume() const { return player_->Now().volume; }
    void SetVolume(double v) { player_->SetVolume(v); }
    qlonglong Position() const { return player_->PositionUs(); }
    bool CanGoNext() const { return player_->Now().canGoNext; }
    bool HasMovie() const { return player_->Now().movie != 0; }

  public slots:
    void Next() { player_->Ask(MediaPlayer2::Request::kNext); }
    void Previous() {}
    void Pause() { player_->Pause(); }
    void PlayPause() { player_->PlayPause(); }
    void Stop() { player_->Ask(MediaPlayer2::Request::kStop); }
    void Play() { player_->Play(); }
    void Seek(qlonglong offset) { player_->Seek(offset); }
    void SetPosition(const QDBusObjectPath& track, qlonglong position) {
        player_->SetPosition(track.path(), position);
    }
    void OpenUri(const QString& uri) { player_->OpenUri(uri); }

  signals:
    void Seeked(qlonglong position);

  private:
    MediaPlayer2* player_;
};

}  // namespace

MediaPlayer2::MediaPlayer2(Hooks hooks, QObject* parent)
    : QObject(parent), hooks_(std::move(hooks)) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    new RootAdaptor(this);
    new PlayerAdaptor(this);
    if (!bus.registerObject(kPath, this)) {
        return;
    }
    last_ = hooks_.snapshot();
    const QString name = QStringLiteral("org.mpris.MediaPlayer2.lunavue");
    const QString own = name + QStringLiteral(".instance") + QString::number(getpid());
    service_ = bus.registerService(name) ? name : bus.registerService(own) ? own : QString();
}

MediaPlayer2::~MediaPlayer2() {
    if (!service_.isEmpty()) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(service_);
        bus.unregisterObject(kPath);
    }
}

QString MediaPlayer2::TrackId() const {
    return last_.movie == 0 ? QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")
                            : QStringLiteral("/org/lunavue/movie/%1").arg(last_.movie);
}

QVariantMap MediaPlayer2::Metadata() const {
    QVariantMap m;
    m.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(TrackId())));
    if (last_.movie == 0) {
        return m;
    }
    const QString path = QFile::decodeName(last_.path.c_str());
    m.insert(QStringLiteral("mpris:length"), QVariant::fromValue<qlonglong>(last_.lengthUs));
    m.insert(QStringLiteral("xesam:title"), path.section(QLatin1Char('/'), -1));
    m.insert(QStringLiteral("xesam:url"), QUrl::fromLocalFile(path).toString());
    return m;
}

void MediaPlayer2::Update() {
    if (service_.isEmpty()) {
        return;
    }
    const Snapshot was = last_;
    last_ = hooks_.snapshot();
    QVariantMap changed;
    if (last_.status != was.status) {
        changed.insert(QStringLiteral("PlaybackStatus"), StatusText(last_.status));
    }
    if (last_.movie != was.movie) {
        changed.insert(QStringLiteral("Metadata"), Metadata());
        changed.insert(QStringLiteral("CanPlay"), last_.movie != 0);
        changed.insert(QStringLiteral("CanPause"), last_.movie != 0);
        changed.insert(QStringLiteral("CanSeek"), last_.movie != 0);
    }
    if (last_.volume != was.volume) {
        changed.insert(QStringLiteral("Volume"), last_.volume);
    }
    if (last_.loop != was.loop) {
        changed.insert(QStringLiteral("LoopStatus"), last_.loop ? "Track" : "None");
    }
    if (last_.canGoNext != was.canGoNext) {
        changed.insert(QStringLiteral("CanGoNext"), last_.canGoNext);
    }
    if (!changed.isEmpty()) {
        Changed(kPlayer, changed);
    }
}

void MediaPlayer2::Jumped(int64_t positionUs) {
    if (service_.isEmpty()) {
        return;
    }
    QDBusMessage seeked = QDBusMessage::createSignal(kPath, kPlayer, "Seeked");
    seeked << QVariant::fromValue<qlonglong>(positionUs);
    QDBusConnection::sessionBus().send(seeked);
}

int64_t MediaPlayer2::PositionUs() const {
    return hooks_.snapshot ? hooks_.snapshot().positionUs : 0;
}

void MediaPlayer2::Changed(const char* interface, const QVariantMap& properties) {
    QDBusMessage m =
        QDBusMessage::createSignal(kPath, "org.freedesktop.DBus.Properties", "PropertiesChanged");
    m << QString::fromLatin1(interface) << properties << QStringList();
    QDBusConnection::sessionBus().send(m);
}

void MediaPlayer2::Ask(Request request) {
    if (hooks_.request) {
        hooks_.request(request);
    }
    Update();
}

void MediaPlayer2::PlayPause() {
    Ask(Request::kPlayPause);
}

// Play starts a stopped movie or resumes a paused one; Pause pauses a playing one. The
// pause key toggles, so each goes to it only when it changes something.
void MediaPlayer2::Play() {
    last_ = hooks_.snapshot();
    Ask(last_.status == Status::kPaused ? Request::kPlayPause : Request::kPlay);
}

void MediaPlayer2::Pause() {
    last_ = hooks_.snapshot();
    if (last_.status == Status::kPlaying) {
        Ask(Request::kPause);
    }
}

void MediaPlayer2::Seek(int64_t offsetUs) {
    last_ = hooks_.snapshot();
    if (last_.movie != 0 && hooks_.seekTo) {
        hooks_.seekTo(std::max<int64_t>(0, (last_.positionUs + offsetUs) / 1000));
    }
    Update();
}

void MediaPlayer2::SetPosition(const QString& track, int64_t positionUs) {
    last_ = hooks_.snapshot();
    if (track == TrackId() && positionUs >= 0 && positionUs <= last_.lengthUs && hooks_.seekTo) {
        hooks_.seekTo(positionUs / 1000);
    }
    Update();
}

void MediaPlayer2::OpenUri(const QString& uri) {
    const QUrl url(uri);
    if (url.isLocalFile() && hooks_.playNow) {
        hooks_.playNow(QFile::encodeName(url.toLocalFile()).toStdString());
    }
    Update();
}

void MediaPlayer2::SetVolume(double volume) {
    if (hooks_.setVolume) {
        hooks_.setVolume(static_cast<int>(std::clamp(volume, 0.0, 1.0) * 100 + 0.5));
    }
    Update();
}

void MediaPlayer2::SetLoop(bool loop) {
    last_ = hooks_.snapshot();
    if (loop != last_.loop) {
        Ask(Request::kToggleLoop);
    }
}

void MediaPlayer2::Raise() {
    if (hooks_.raise) {
        hooks_.raise();
    }
}

}  // namespace lunavue

#include "MediaPlayer2.moc"
