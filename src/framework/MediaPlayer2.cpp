#include "framework/MediaPlayer2.h"

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>

namespace lunavue {
namespace {

constexpr const char* kPath = "/org/mpris/MediaPlayer2";
constexpr const char* kRoot = "org.mpris.MediaPlayer2";
constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";

using SteadyClock = std::chrono::steady_clock;

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

QString TrackId(uint64_t movie) {
    return movie == 0 ? QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")
                      : QStringLiteral("/org/lunavue/movie/%1").arg(movie);
}

QVariantMap MetadataOf(const MediaPlayer2::Snapshot& s) {
    QVariantMap m;
    m.insert(QStringLiteral("mpris:trackid"),
             QVariant::fromValue(QDBusObjectPath(TrackId(s.movie))));
    if (s.movie == 0) {
        return m;
    }
    const QString name = QFile::decodeName(s.path.substr(s.path.rfind('/') + 1).c_str());
    m.insert(QStringLiteral("mpris:length"), QVariant::fromValue<qlonglong>(s.lengthUs));
    m.insert(QStringLiteral("xesam:title"), name);
    m.insert(QStringLiteral("xesam:url"), MediaPlayer2::UrlOf(s.path));
    return m;
}

// a + b without overflowing: held at the ends of the 64-bit range.
int64_t SaturatingAdd(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? INT64_MAX : INT64_MIN;
    }
    return sum;
}

constexpr const char* kIntrospection = R"(<node>
 <interface name="org.mpris.MediaPlayer2">
  <method name="Raise"/>
  <method name="Quit"/>
  <property name="CanQuit" type="b" access="read"/>
  <property name="CanRaise" type="b" access="read"/>
  <property name="CanSetFullscreen" type="b" access="read"/>
  <property name="Fullscreen" type="b" access="read"/>
  <property name="HasTrackList" type="b" access="read"/>
  <property name="Identity" type="s" access="read"/>
  <property name="DesktopEntry" type="s" access="read"/>
  <property name="SupportedUriSchemes" type="as" access="read"/>
  <property name="SupportedMimeTypes" type="as" access="read"/>
 </interface>
 <interface name="org.mpris.MediaPlayer2.Player">
  <method name="Next"/>
  <method name="Previous"/>
  <method name="Pause"/>
  <method name="PlayPause"/>
  <method name="Stop"/>
  <method name="Play"/>
  <method name="Seek"><arg name="Offset" type="x" direction="in"/></method>
  <method name="SetPosition"><arg name="TrackId" type="o" direction="in"/><arg name="Position" type="x" direction="in"/></method>
  <method name="OpenUri"><arg name="Uri" type="s" direction="in"/></method>
  <signal name="Seeked"><arg name="Position" type="x"/></signal>
  <property name="PlaybackStatus" type="s" access="read"/>
  <property name="LoopStatus" type="s" access="readwrite"/>
  <property name="Rate" type="d" access="readwrite"/>
  <property name="MinimumRate" type="d" access="read"/>
  <property name="MaximumRate" type="d" access="read"/>
  <property name="Metadata" type="a{sv}" access="read"/>
  <property name="Volume" type="d" access="readwrite"/>
  <property name="Position" type="x" access="read"/>
  <property name="CanGoNext" type="b" access="read"/>
  <property name="CanGoPrevious" type="b" access="read"/>
  <property name="CanPlay" type="b" access="read"/>
  <property name="CanPause" type="b" access="read"/>
  <property name="CanSeek" type="b" access="read"/>
  <property name="CanControl" type="b" access="read"/>
 </interface>
 <interface name="org.freedesktop.DBus.Properties">
  <method name="Get"><arg name="interface" type="s" direction="in"/><arg name="name" type="s" direction="in"/><arg name="value" type="v" direction="out"/></method>
  <method name="GetAll"><arg name="interface" type="s" direction="in"/><arg name="properties" type="a{sv}" direction="out"/></method>
  <method name="Set"><arg name="interface" type="s" direction="in"/><arg name="name" type="s" direction="in"/><arg name="value" type="v" direction="in"/></method>
  <signal name="PropertiesChanged"><arg name="interface" type="s"/><arg name="changed" type="a{sv}"/><arg name="invalidated" type="as"/></signal>
 </interface>
</node>
)";

}  // namespace

// The object on the bus, on its own thread: it answers from the snapshot and hands what a
// call asks for to the owner's thread.
class MediaPlayer2::Bus : public QDBusVirtualObject {
  public:
    explicit Bus(MediaPlayer2* owner) : owner_(owner) {}

    // Main thread.
    void SetSnapshot(const Snapshot& s) {
        std::lock_guard<std::mutex> lock(mutex_);
        snapshot_ = s;
        takenAt_ = SteadyClock::now();
    }

    QString introspect(const QString&) const override {
        // Qt wraps the answer in a node of its own: the interfaces alone go in.
        QString xml = QString::fromLatin1(kIntrospection);
        xml.remove(QStringLiteral("<node>\n")).remove(QStringLiteral("</node>\n"));
        return xml;
    }

    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override {
        const QString interface = m.interface();
        QDBusMessage reply;
        if (interface == QLatin1String(kProperties)) {
            reply = PropertiesCall(m);
        } else if (interface == QLatin1String(kRoot) || interface == QLatin1String(kPlayer) ||
                   interface.isEmpty()) {
            reply = MethodCall(m);
        } else {
            return false;
        }
        bus.send(reply);
        return true;
    }

  private:
    Snapshot Now(int64_t& positionUs) const {
        std::lock_guard<std::mutex> lock(mutex_);
        positionUs = snapshot_.positionUs;
        if (snapshot_.status == Status::kPlaying) {
            const auto since = std::chrono::duration_cast<std::chrono::microseconds>(
                SteadyClock::now() - takenAt_);
            positionUs = std::min(SaturatingAdd(positionUs, since.count()), snapshot_.lengthUs);
        }
        return snapshot_;
    }

    // Hands work to the owner's thread, at most kRequestsPerSecond a second.
    bool Ask(std::function<void()> work) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto now = SteadyClock::now();
            const double seconds = std::chrono::duration<double>(now - refilledAt_).count();
            refilledAt_ = now;
            tokens_ = std::min<double>(kRequestsPerSecond, tokens_ + seconds * kRequestsPerSecond);
            if (tokens_ < 1) {
                return false;
            }
            tokens_ -= 1;
        }
        QMetaObject::invokeMethod(
            owner_, [owner = owner_, work = std::move(work)] { owner->Run(work); },
            Qt::QueuedConnection);
        return true;
    }

    QDBusMessage Asked(const QDBusMessage& m, std::function<void()> work) {
        return Ask(std::move(work))
                   ? m.createReply()
                   : m.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.LimitsExceeded"),
                                        QStringLiteral("Too many requests; try again"));
    }

    QDBusMessage Forward(const QDBusMessage& m, MediaPlayer2::Request r) {
        return AskWith(m, [r](const Hooks& h) {
            if (h.request) {
                h.request(r);
            }
        });
    }

    // Work that needs the hooks.
    QDBusMessage AskWith(const QDBusMessage& m, std::function<void(const Hooks&)> work) {
        MediaPlayer2* owner = owner_;
        return Asked(m, std::function<void()>([owner, work] { work(owner->hooks_); }));
    }

    static QDBusMessage Invalid(const QDBusMessage& m, const QString& why) {
        return m.createErrorReply(QString::fromLatin1(kInvalidArgs), why);
    }

    QDBusMessage MethodCall(const QDBusMessage& m) {
        const QString name = m.member();
        const QString signature = m.signature();
        static const std::pair<const char*, MediaPlayer2::Request> kPlain[] = {
            {"Raise", Request::kRaise}, {"Quit", Request::kQuit},
            {"Next", Request::kNext},   {"Previous", Request::kPrevious},
            {"Pause", Request::kPause}, {"PlayPause", Request::kPlayPause},
            {"Stop", Request::kStop},   {"Play", Request::kPlay},
        };
        for (const auto& [member, request] : kPlain) {
            if (name == QLatin1String(member)) {
                return signature.isEmpty() ? Forward(m, request)
                                           : Invalid(m, QStringLiteral("no arguments are taken"));
            }
        }
        if (name == QLatin1String("Seek")) {
            if (signature != QLatin1String("x")) {
                return Invalid(m, QStringLiteral("Seek takes an offset in microseconds (x)"));
            }
            int64_t position = 0;
            const Snapshot s = Now(position);
            if (s.movie == 0) {
                return m.createReply();
            }
            const int64_t target =
                std::max<int64_t>(0, SaturatingAdd(position, m.arguments()[0].toLongLong()));
            return AskWith(m, [target](const Hooks& h) {
                if (h.seekTo) {
                    h.seekTo(target / 1000);
                }
            });
        }
        if (name == QLatin1String("SetPosition")) {
            if (signature != QLatin1String("ox")) {
                return Invalid(m,
                               QStringLiteral("SetPosition takes a track id and a position (ox)"));
            }
            int64_t position = 0;
            const Snapshot s = Now(position);
            const QString track = m.arguments()[0].value<QDBusObjectPath>().path();
            const int64_t to = m.arguments()[1].toLongLong();
            if (track != TrackId(s.movie) || s.movie == 0 || to < 0 || to > s.lengthUs) {
                return m.createReply();  // a stale track or a point outside the movie: ignored, as
                                         // MPRIS has it
            }
            return AskWith(m, [to](const Hooks& h) {
                if (h.seekTo) {
                    h.seekTo(to / 1000);
                }
            });
        }
        if (name == QLatin1String("OpenUri")) {
            return OpenUri(m);
        }
        return m.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                                  QStringLiteral("No method %1").arg(name));
    }

    // Local files only: file:///path or file://localhost/path, the path's bytes as sent.
    QDBusMessage OpenUri(const QDBusMessage& m) {
        if (m.signature() != QLatin1String("s")) {
            return Invalid(m, QStringLiteral("OpenUri takes a URI (s)"));
        }
        const QUrl url = QUrl::fromEncoded(m.arguments()[0].toString().toUtf8(), QUrl::StrictMode);
        const QString host = url.host();
        if (!url.isValid() || url.scheme() != QLatin1String("file") ||
            !(host.isEmpty() ||
              host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)) {
            return Invalid(m, QStringLiteral("only local file: URIs are opened"));
        }
        const QByteArray bytes =
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (bytes.isEmpty() || bytes[0] != '/' || bytes.contains('\0')) {
            return Invalid(m, QStringLiteral("the URI names no file"));
        }
        const std::string path(bytes.constData(), static_cast<size_t>(bytes.size()));
        return AskWith(m, [path](const Hooks& h) {
            if (h.playNow) {
                h.playNow(path);
            }
        });
    }

    QDBusMessage PropertiesCall(const QDBusMessage& m) {
        const QString name = m.member();
        const QList<QVariant> args = m.arguments();
        if (name == QLatin1String("Get") && m.signature() == QLatin1String("ss")) {
            QVariant value;
            if (!Property(args[0].toString(), args[1].toString(), value)) {
                return m.createErrorReply(
                    QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty"),
                    QStringLiteral("No property %1").arg(args[1].toString()));
            }
            return m.createReply(QVariant::fromValue(QDBusVariant(value)));
        }
        if (name == QLatin1String("GetAll") && m.signature() == QLatin1String("s")) {
            return m.createReply(All(args[0].toString()));
        }
        if (name == QLatin1String("Set") && m.signature() == QLatin1String("ssv")) {
            return Set(m, args[0].toString(), args[1].toString(),
                       args[2].value<QDBusVariant>().variant());
        }
        return Invalid(m, QStringLiteral("Get (ss), GetAll (s) or Set (ssv)"));
    }

    QVariantMap All(const QString& interface) const {
        static const char* const kRootNames[] = {
            "CanQuit",  "CanRaise",     "CanSetFullscreen",    "Fullscreen",        "HasTrackList",
            "Identity", "DesktopEntry", "SupportedUriSchemes", "SupportedMimeTypes"};
        static const char* const kPlayerNames[] = {
            "PlaybackStatus", "LoopStatus", "Rate",     "MinimumRate", "MaximumRate",
            "Metadata",       "Volume",     "Position", "CanGoNext",   "CanGoPrevious",
            "CanPlay",        "CanPause",   "CanSeek",  "CanControl"};
        QVariantMap all;
        const bool root = interface == QLatin1String(kRoot);
        if (!root && interface != QLatin1String(kPlayer)) {
            return all;
        }
        const auto add = [&](const char* const* first, const char* const* last) {
            for (; first != last; ++first) {
                QVariant v;
                Property(interface, QString::fromLatin1(*first), v);
                all.insert(QString::fromLatin1(*first), v);
            }
        };
        if (root) {
            add(std::begin(kRootNames), std::end(kRootNames));
        } else {
            add(std::begin(kPlayerNames), std::end(kPlayerNames));
        }
        return all;
    }

    bool Property(const QString& interface, const QString& name, QVariant& value) const {
        int64_t position = 0;
        const Snapshot s = Now(position);
        const bool movie = s.movie != 0;
        if (interface == QLatin1String(kRoot)) {
            const std::pair<const char*, QVariant> kRootValues[] = {
                {"CanQuit", true},
                {"CanRaise", true},
                {"CanSetFullscreen", false},
                {"Fullscreen", false},
                {"HasTrackList", false},
                {"Identity", QStringLiteral("Lunavue")},
                {"DesktopEntry", QStringLiteral("org.lunavue.Lunavue")},
                {"SupportedUriSchemes", QStringList{QStringLiteral("file")}},
                {"SupportedMimeTypes", QStringList{QStringLiteral("video/x-film-cpk")}},
            };
            for (const auto& [n, v] : kRootValues) {
                if (name == QLatin1String(n)) {
                    value = v;
                    return true;
                }
            }
            return false;
        }
        if (interface != QLatin1String(kPlayer)) {
            return false;
        }
        const std::pair<const char*, QVariant> kPlayerValues[] = {
            {"PlaybackStatus", StatusText(s.status)},
            {"LoopStatus", LoopName(s.loop)},
            {"Rate", 1.0},
            {"MinimumRate", 1.0},
            {"MaximumRate", 1.0},
            {"Metadata", MetadataOf(s)},
            {"Volume", s.volume},
            {"Position", QVariant::fromValue<qlonglong>(position)},
            {"CanGoNext", s.canGoNext},
            {"CanGoPrevious", s.canGoPrevious},
            {"CanPlay", movie},
            {"CanPause", movie},
            {"CanSeek", movie},
            {"CanControl", true},
        };
        for (const auto& [n, v] : kPlayerValues) {
            if (name == QLatin1String(n)) {
                value = v;
                return true;
            }
        }
        return false;
    }

    QDBusMessage Set(const QDBusMessage& m, const QString& interface, const QString& name,
                     const QVariant& value) {
        QVariant current;
        if (!Property(interface, name, current)) {
            return m.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty"),
                                      QStringLiteral("No property %1").arg(name));
        }
        if (interface == QLatin1String(kPlayer) && name == QLatin1String("LoopStatus")) {
            Loop loop = Loop::kNone;
            if (value.typeId() != QMetaType::QString || !LoopFromName(value.toString(), loop)) {
                return Invalid(m, QStringLiteral("LoopStatus is None, Track or Playlist"));
            }
            return AskWith(m, [loop](const Hooks& h) {
                if (h.setLoop) {
                    h.setLoop(loop);
                }
            });
        }
        if (interface == QLatin1String(kPlayer) && name == QLatin1String("Volume")) {
            const double v = value.toDouble();
            if (value.typeId() != QMetaType::Double || std::isnan(v)) {
                return Invalid(m, QStringLiteral("Volume is a number (d)"));
            }
            const int percent = static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 100));
            return AskWith(m, [percent](const Hooks& h) {
                if (h.setVolume) {
                    h.setVolume(percent);
                }
            });
        }
        if (interface == QLatin1String(kPlayer) && name == QLatin1String("Rate")) {
            // This player plays at its own pace alone: MinimumRate = MaximumRate = 1.
            if (value.typeId() != QMetaType::Double || value.toDouble() != 1.0) {
                return Invalid(m, QStringLiteral("Rate is 1.0 here"));
            }
            return m.createReply();
        }
        return m.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.PropertyReadOnly"),
                                  QStringLiteral("%1 cannot be set").arg(name));
    }

    MediaPlayer2* owner_;
    mutable std::mutex mutex_;
    Snapshot snapshot_;
    SteadyClock::time_point takenAt_ = SteadyClock::now();
    double tokens_ = kRequestsPerSecond;
    SteadyClock::time_point refilledAt_ = SteadyClock::now();
};

MediaPlayer2::MediaPlayer2(Hooks hooks, QObject* parent)
    : QObject(parent), hooks_(std::move(hooks)) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    last_ = hooks_.snapshot ? hooks_.snapshot() : Snapshot();
    bus_ = std::make_unique<Bus>(this);
    bus_->SetSnapshot(last_);
    thread_ = new QThread(this);
    thread_->setObjectName(QStringLiteral("lunavue-mpris"));
    bus_->moveToThread(thread_);
    thread_->start();
    if (!bus.registerVirtualObject(QString::fromLatin1(kPath), bus_.get())) {
        return;
    }
    const QString name = QStringLiteral("org.mpris.MediaPlayer2.lunavue");
    const QString own = name + QStringLiteral(".instance") + QString::number(getpid());
    service_ = bus.registerService(name) ? name : bus.registerService(own) ? own : QString();
}

MediaPlayer2::~MediaPlayer2() {
    if (!bus_) {
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!service_.isEmpty()) {
        bus.unregisterService(service_);
    }
    bus.unregisterObject(QString::fromLatin1(kPath));
    thread_->quit();
    thread_->wait();
}

QString MediaPlayer2::LoopName(Loop loop) {
    switch (loop) {
        case Loop::kTrack:
            return QStringLiteral("Track");
        case Loop::kPlaylist:
            return QStringLiteral("Playlist");
        case Loop::kNone:
            break;
    }
    return QStringLiteral("None");
}

bool MediaPlayer2::LoopFromName(const QString& name, Loop& loop) {
    for (Loop l : {Loop::kNone, Loop::kTrack, Loop::kPlaylist}) {
        if (name == LoopName(l)) {
            loop = l;
            return true;
        }
    }
    return false;
}

QString MediaPlayer2::UrlOf(const std::string& path) {
    const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
    return QStringLiteral("file://") + QString::fromLatin1(bytes.toPercentEncoding("/"));
}

void MediaPlayer2::Run(const std::function<void()>& work) {
    work();
    Update();
}

void MediaPlayer2::Update() {
    if (!bus_ || !hooks_.snapshot) {
        return;
    }
    const Snapshot was = last_;
    last_ = hooks_.snapshot();
    bus_->SetSnapshot(last_);
    if (service_.isEmpty()) {
        return;
    }
    QVariantMap changed;
    if (last_.status != was.status) {
        changed.insert(QStringLiteral("PlaybackStatus"), StatusText(last_.status));
    }
    if (last_.movie != was.movie) {
        changed.insert(QStringLiteral("Metadata"), MetadataOf(last_));
        changed.insert(QStringLiteral("CanPlay"), last_.movie != 0);
        changed.insert(QStringLiteral("CanPause"), last_.movie != 0);
        changed.insert(QStringLiteral("CanSeek"), last_.movie != 0);
    }
    if (last_.volume != was.volume) {
        changed.insert(QStringLiteral("Volume"), last_.volume);
    }
    if (last_.loop != was.loop) {
        changed.insert(QStringLiteral("LoopStatus"), LoopName(last_.loop));
    }
    if (last_.canGoNext != was.canGoNext) {
        changed.insert(QStringLiteral("CanGoNext"), last_.canGoNext);
    }
    if (last_.canGoPrevious != was.canGoPrevious) {
        changed.insert(QStringLiteral("CanGoPrevious"), last_.canGoPrevious);
    }
    if (changed.isEmpty()) {
        return;
    }
    QDBusMessage m =
        QDBusMessage::createSignal(QString::fromLatin1(kPath), QString::fromLatin1(kProperties),
                                   QStringLiteral("PropertiesChanged"));
    m << QString::fromLatin1(kPlayer) << changed << QStringList();
    QDBusConnection::sessionBus().send(m);
}

void MediaPlayer2::Jumped(int64_t positionUs) {
    if (!bus_ || !hooks_.snapshot) {
        return;
    }
    last_ = hooks_.snapshot();
    bus_->SetSnapshot(last_);
    if (service_.isEmpty()) {
        return;
    }
    QDBusMessage seeked = QDBusMessage::createSignal(
        QString::fromLatin1(kPath), QString::fromLatin1(kPlayer), QStringLiteral("Seeked"));
    seeked << QVariant::fromValue<qlonglong>(positionUs);
    QDBusConnection::sessionBus().send(seeked);
}

}  // namespace lunavue
