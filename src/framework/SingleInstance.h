// One player per user and display: a second start with file names on the same display hands
// them, with its flags, to the player running there and ends; a start on another display
// opens a player of its own there. The door is a local socket in a folder only this user can use
// ($XDG_RUNTIME_DIR, or a folder of the user's own whose owner and mode are checked), and
// each side checks that the other runs as the same user before anything is handed over.
//
// A request is one byte of kind ('N' a file name, 'F' a flag word such as "play"), four
// bytes of length (big-endian), then that many bytes: names travel as the bytes the file
// system knows them by, whatever they hold. The running player answers each request with
// "ok\n" once it has taken it, so the second start ends only when every request arrived.
// Requests longer than kMaxRequest, connections idle for kIdleMs, and connections beyond
// kMaxConnections are dropped; the door itself stays open.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace lunavue {

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    static constexpr char kName = 'N';
    static constexpr char kFlag = 'F';
    static constexpr uint32_t kMaxRequest = 64 * 1024;
    static constexpr int kMaxConnections = 16;
    static constexpr int kIdleMs = 3000;

    struct Request {
        char kind;
        std::string text;
    };
    using Handler = std::function<void(const Request&)>;

    ~SingleInstance() override;

    // Where this user's door on this display is: $LUNAVUE_INSTANCE when it is an absolute
    // path; otherwise a socket named by it (or "lunavue") and the display, in the user's
    // private folder. Empty when no private folder can be had.
    static std::string DefaultPath();
    // The display the player shows on, as part of a name: the X display without its screen
    // (":74"), or the Wayland display ("wayland-wayland-0"); empty when there is neither.
    static std::string DisplayName();
    // The folder: $XDG_RUNTIME_DIR when it is ours and private; else /tmp/lunavue-UID,
    // made with mode 0700 when missing. Empty when the folder there is not ours or not
    // private.
    static std::string PrivateFolder();

    // Hands the requests to a player running as this user. True when one took them all;
    // false (nothing sent) when none answers or the one answering is another user.
    static bool Forward(const std::string& path, const std::vector<Request>& requests,
                        int timeoutMs = 5000);

    // Starts answering requests at path; false when a player already answers there or the
    // socket cannot be made (this player then simply runs on its own).
    bool Listen(const std::string& path, Handler handler);

  private:
    struct Connection {
        int fd = -1;
        std::unique_ptr<QSocketNotifier> notifier;
        std::unique_ptr<QTimer> idle;
        std::string buffer;
    };
    void Accept();
    void Read(int fd);
    void Drop(int fd);

    int listener_ = -1;
    std::string path_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::map<int, Connection> connections_;
    Handler handler_;
};

}  // namespace lunavue
