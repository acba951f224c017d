// The player as the desktop's media controls see it (panel widgets, the lock screen, headset
// buttons, playerctl): MPRIS 2 on the session bus, as org.mpris.MediaPlayer2.lunavue (or, when
// a player on another display has that name, org.mpris.MediaPlayer2.lunavue.instance<pid>),
// object /org/mpris/MediaPlayer2. Without a session bus it does nothing.
//
// The bus side runs on a thread of its own: every call is answered there at once, from a
// snapshot of the player that the owner refreshes when something changes (Update), so that
// a caller never waits on the window and a flood of calls never takes the picture's time.
// What a call asks the player to do is handed to the owner's thread afterwards, at most
// kRequestsPerSecond of them a second (more are refused with LimitsExceeded). Every number
// and name a caller sends is checked first: positions saturate instead of overflowing, NaN
// and values outside the names and ranges MPRIS defines are refused with InvalidArgs, and only
// local file: URIs are opened.
//
// Threads: the owner's (main) thread makes it, calls Update and Jumped, and runs the hooks.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QThread;

namespace lunavue {

class MediaPlayer2 : public QObject {
    Q_OBJECT
  public:
    static constexpr int kRequestsPerSecond = 50;

    enum class Status { kStopped, kPlaying, kPaused };
    // None, the current movie again (Track), or the queue's end playing the last again
    // (Playlist, the player's Loop).
    enum class Loop { kNone, kTrack, kPlaylist };
    // What the player is doing.
    struct Snapshot {
        Status status = Status::kStopped;
        uint64_t movie = 0;  // changes with each movie opened; 0: none
        std::string path;    // the movie's full path, as the file system has it
        int64_t lengthUs = 0;
        int64_t positionUs = 0;
        double volume = 1.0;  // 0 to 1
        Loop loop = Loop::kNone;
        bool canGoNext = false;
        bool canGoPrevious = false;
    };
    // What a caller asks of the player.
    enum class Request { kPlayPause, kPlay, kPause, kStop, kNext, kPrevious, kQuit, kRaise };
    struct Hooks {
        std::function<void(Request)> request;
        std::function<Snapshot()> snapshot;
        std::function<void(int64_t ms)> seekTo;
        // A movie to play now, asked for on the bus: a refusal is said, not shown in a box.
        std::function<void(const std::string& path)> playNow;
        std::function<void(int percent)> setVolume;
        std::function<void(Loop loop)> setLoop;
    };

    explicit MediaPlayer2(Hooks hooks, QObject* parent = nullptr);
    ~MediaPlayer2() override;
    // The bus name taken, empty without a session bus.
    QString ServiceName() const { return service_; }
    // Looks at the player again: the bus side answers from this from now on, and
    // PropertiesChanged says what changed (status, movie, volume, loop, next, previous).
    void Update();
    // Signals that playback jumped to a position (a seek, a step, a stop).
    void Jumped(int64_t positionUs);

    // The names of the loop states, as MPRIS spells them; false for any other name.
    static QString LoopName(Loop loop);
    static bool LoopFromName(const QString& name, Loop& loop);
    // A local path as a file: URL, every byte that is not plainly printable percent-encoded,
    // so that any name (not UTF-8 included) comes back as the same bytes.
    static QString UrlOf(const std::string& path);

  private:
    class Bus;
    void Run(const std::function<void()>& work);

    Hooks hooks_;
    QString service_;
    Snapshot last_;
    std::unique_ptr<Bus> bus_;
    QThread* thread_ = nullptr;
};

}  // namespace lunavue
