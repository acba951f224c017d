// One player per user and display: a second start with file names on the same display hands
// them, with its flags, to the player running there and ends; a start on another display
// opens a player of its own there. The door is a local socket in a folder only this user can use
// ($XDG_RUNTIME_DIR, or a folder of the user's own whose owner and mode are checked), and
// each side checks that the other runs as the same user before anything is handed over.
//
// A request is one byte of kind ('N' a file name, 'F' a flag word such as "play"), four
// bytes of length (big-endian), then that many bytes: names travel as the bytes the file
// system knows them by, whatever they hold. The running player answers each request with
// "ok\n" once it has taken it, or "no\n" when it will not (its queue is full); answers
// wait in the player until the other end reads them, and the other end reads while it
// sends, so that no answer is lost however many names a start hands over.
//
// Abuse costs the player little and never locks the door: a request longer than any path
// ends its connection; each request must arrive whole within kRequestMs of its first byte,
// and a connection that sends nothing is dropped after kIdleMs; a connection hands over at
// most kMaxRequests names; when kMaxConnections are open, the oldest makes way for a new one.
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
    static constexpr uint32_t kMaxRequest = 4096;  // the longest path the system takes
    static constexpr uint32_t kMaxRequests = 10000;
    static constexpr int kMaxConnections = 16;
    static constexpr int kIdleMs = 3000;
    static constexpr int kRequestMs = 2000;

    struct Request {
        char kind;
        std::string text;
    };
    // Takes a request; false when it is refused (answered "no").
    using Handler = std::function<bool(const Request&)>;

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

    // What a running player made of the requests handed to it.
    struct Forwarded {
        bool reached = false;  // a player of this user answered: this start has nothing to do
        size_t taken = 0;      // requests it took
    };
    // Hands the requests to a player running as this user, sending and reading its answers
    // together. Not reached when none answers within timeoutMs of the last sign of it, or
    // the one answering is another user (then nothing is sent).
    static Forwarded Forward(const std::string& path, const std::vector<Request>& requests,
                             int timeoutMs = 5000);

    // Starts answering requests at path; false when a player already answers there or the
    // socket cannot be made (this player then simply runs on its own).
    bool Listen(const std::string& path, Handler handler);

  private:
    static size_t Exchange(int fd, const std::string& bytes, size_t expected, int timeoutMs,
                           size_t& taken);
    struct Connection {
        int fd = -1;
        uint64_t serial = 0;  // the order connections came in
        std::unique_ptr<QSocketNotifier> reader;
        std::unique_ptr<QSocketNotifier> writer;
        std::unique_ptr<QTimer> deadline;  // idle, or the request under way, runs out
        std::string buffer;                // the request under way
        std::string out;                   // answers the other end has not read yet
        uint32_t requests = 0;
    };
    void Accept();
    void Read(int fd);
    // Takes the bytes received; false when the connection is to end.
    bool Take(Connection& c, const char* data, size_t n);
    void Answer(Connection& c, bool taken);
    void Flush(int fd);
    void Drop(int fd);
    void DropOldest();

    int listener_ = -1;
    std::string path_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::map<int, Connection> connections_;
    uint64_t serial_ = 0;
    Handler handler_;
};

}  // namespace lunavue
