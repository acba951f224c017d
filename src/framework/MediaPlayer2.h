// The player as the desktop's media controls see it (panel widgets, the lock screen, headset
// buttons, playerctl): MPRIS 2 on the session bus, as org.mpris.MediaPlayer2.lunavue (or, when
// a player on another display has that name, org.mpris.MediaPlayer2.lunavue.instance<pid>),
// object /org/mpris/MediaPlayer2. Requests go to the owner, which carries them out with the
// same commands as keys and menus; what the player is doing comes from a snapshot the owner
// gives, looked at again on Update (the owner calls it when something changed), which
// signals what changed. Without a session bus it does nothing.
#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <functional>
#include <string>

namespace lunavue {

class MediaPlayer2 : public QObject {
    Q_OBJECT
  public:
    enum class Status { kStopped, kPlaying, kPaused };
    // What the player is doing.
    struct Snapshot {
        Status status = Status::kStopped;
        uint64_t movie = 0;  // changes with each movie opened; 0: none
        std::string path;    // the movie's full path
        int64_t lengthUs = 0;
        int64_t positionUs = 0;
        double volume = 1.0;  // 0 to 1
        bool loop = false;
        bool canGoNext = false;
    };
    // What a caller asks of the player.
    enum class Request { kPlayPause, kPlay, kPause, kStop, kNext, kToggleLoop, kQuit };
    struct Hooks {
        std::function<void(Request)> request;
        std::function<Snapshot()> snapshot;
        std::function<void(int64_t ms)> seekTo;
        std::function<void(const std::string& path)> playNow;
        std::function<void(int percent)> setVolume;
        std::function<void()> raise;
    };

    explicit MediaPlayer2(Hooks hooks, QObject* parent = nullptr);
    ~MediaPlayer2() override;
    // The bus name taken, empty without a session bus.
    QString ServiceName() const { return service_; }
    // Looks at the player again and signals what changed: PropertiesChanged for the status,
    // the movie, the volume, the loop and whether there is a next movie.
    void Update();
    // Signals that playback jumped to a position (a seek, a step, a stop).
    void Jumped(int64_t positionUs);
    // Where playback stands now, asked afresh.
    int64_t PositionUs() const;

    // The two interfaces' calls, from their adaptors.
    const Snapshot& Now() const { return last_; }
    QVariantMap Metadata() const;
    void Ask(Request request);
    void PlayPause();
    void Play();
    void Pause();
    void Seek(int64_t offsetUs);
    void SetPosition(const QString& track, int64_t positionUs);
    void OpenUri(const QString& uri);
    void SetVolume(double volume);
    void SetLoop(bool loop);
    void Raise();

  private:
    void Changed(const char* interface, const QVariantMap& properties);
    QString TrackId() const;

    Hooks hooks_;
    QString service_;
    Snapshot last_;
};

}  // namespace lunavue
