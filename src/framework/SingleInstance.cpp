#include "framework/SingleInstance.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Posix.h"

namespace lunavue {
namespace {

constexpr const char* kOk = "ok\n";

// The user id of the process at the other end of a local socket, or -1.
long PeerUid(int fd) {
    struct ucred cred {};
    socklen_t size = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0) {
        return -1;
    }
    return static_cast<long>(cred.uid);
}

bool Address(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// A folder that is ours alone: a real folder (not a link), owned by us, with no rights for
// anybody else.
bool IsPrivateFolder(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
           (st.st_mode & 077) == 0;
}

// Bytes still to come for the request begun in buf: 0 when it is whole, npos when it cannot
// be a request (a kind not known, or longer than any name).
size_t Missing(const std::string& buf) {
    if (buf.size() < 5) {
        return 5 - buf.size();
    }
    uint32_t length = 0;
    for (int i = 1; i <= 4; ++i) {
        length = length << 8 | static_cast<uint8_t>(buf[static_cast<size_t>(i)]);
    }
    if (length > SingleInstance::kMaxRequest ||
        (buf[0] != SingleInstance::kName && buf[0] != SingleInstance::kFlag)) {
        return std::string::npos;
    }
    return 5 + length - buf.size();
}

std::string Encode(const SingleInstance::Request& r) {
    const uint32_t n = static_cast<uint32_t>(r.text.size());
    std::string record(1, r.kind);
    for (int shift = 24; shift >= 0; shift -= 8) {
        record += static_cast<char>((n >> shift) & 0xFF);
    }
    return record + r.text;
}

}  // namespace

SingleInstance::~SingleInstance() {
    while (!connections_.empty()) {
        Drop(connections_.begin()->first);
    }
    if (listener_ >= 0) {
        close(listener_);
        unlink(path_.c_str());
    }
}

std::string SingleInstance::PrivateFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime == '/' && IsPrivateFolder(runtime)) {
        return runtime;
    }
    const std::string folder = "/tmp/lunavue-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    return IsPrivateFolder(folder) ? folder : std::string();
}

std::string SingleInstance::DisplayName() {
    std::string display;
    if (const char* x = std::getenv("DISPLAY"); x != nullptr && *x != '\0') {
        display = x;
        // The server, not the screen: ":74.0" and ":74" are the same display; so are the
        // local ways of naming the host.
        const size_t colon = display.rfind(':');
        const size_t dot = display.find('.', colon == std::string::npos ? 0 : colon);
        if (colon != std::string::npos && dot != std::string::npos) {
            display.erase(dot);
        }
        for (const char* local : {"unix", "localhost"}) {
            if (display.rfind(std::string(local) + ":", 0) == 0) {
                display.erase(0, std::strlen(local));
            }
        }
    } else if (const char* wayland = std::getenv("WAYLAND_DISPLAY");
               wayland != nullptr && *wayland != '\0') {
        display = std::string("wayland-") + wayland;
    }
    for (char& c : display) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != ':' && c != '.' && c != '-') {
            c = '_';
        }
    }
    return display;
}

namespace {

// A part of a door's name that can stand as it is: letters, digits, '.', '_', '-' and ':',
// and neither "." nor "..", so that the name stays in the folder it is put in.
bool PlainPart(const std::string& part) {
    if (part.empty() || part == "." || part == "..") {
        return false;
    }
    return std::all_of(part.begin(), part.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("._-:", c) != nullptr;
    });
}

// 16 hexadecimal digits of the text's FNV-1a hash: the same text, the same name.
std::string ShortHash(const std::string& text) {
    uint64_t h = 14695981039346656037ull;
    for (const char c : text) {
        h = (h ^ static_cast<uint8_t>(c)) * 1099511628211ull;
    }
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(h));
    return digits;
}

}  // namespace

std::string SingleInstance::DefaultPath() {
    const char* asked = std::getenv("LUNAVUE_INSTANCE");
    const std::string instance = asked != nullptr && *asked != '\0' ? asked : "lunavue";
    const std::string folder = PrivateFolder();
    if (folder.empty()) {
        return {};
    }
    const std::string display = DisplayName();
    std::string name = instance + (display.empty() ? "" : "-" + display) + ".socket";
    // A name that would leave the folder, or not fit a socket's address, is made short.
    const bool plain = PlainPart(instance) && (display.empty() || PlainPart(display));
    if (!plain || folder.size() + 1 + name.size() >= sizeof(sockaddr_un::sun_path)) {
        name = "lunavue-" + ShortHash(instance + '\n' + display) + ".socket";
    }
    return folder + "/" + name;
}

namespace {

// A connection to the player at the door, or -1 when none answers (or it is another user's).
int ConnectTo(const sockaddr_un& address) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        PeerUid(fd) != static_cast<long>(getuid())) {  // never to another user
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

SingleInstance::Forwarded SingleInstance::Forward(const std::string& path,
                                                  const std::vector<Request>& requests,
                                                  int timeoutMs) {
    Forwarded result;
    sockaddr_un address{};
    const int fd = Address(path, address) ? ConnectTo(address) : -1;
    if (fd < 0) {
        return result;
    }
    std::string bytes;
    for (const Request& r : requests) {
        bytes += Encode(r);
    }
    const size_t answers = Exchange(fd, bytes, requests.size(), timeoutMs, result.taken);
    close(fd);
    result.reached = answers > 0;
    return result;
}

// Sends the requests and reads the answers together, so that the player's answers never wait
// on a full socket; counts the answers and, in taken, those that said yes. Gives up once the
// player has said nothing for timeoutMs.
size_t SingleInstance::Exchange(int fd, const std::string& bytes, size_t expected, int timeoutMs,
                                size_t& taken) {
    size_t sent = 0;
    size_t answers = 0;
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (answers < expected) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fd, static_cast<short>(POLLIN | (sent < bytes.size() ? POLLOUT : 0)), 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
            break;
        }
        if ((p.revents & POLLOUT) != 0) {
            const ssize_t n =
                send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                sent += static_cast<size_t>(n);
            }
        }
        if ((p.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            char buf[4096];
            const ssize_t n =
                RetryOnInterrupt([&] { return recv(fd, buf, sizeof buf, MSG_DONTWAIT); });
            if (n <= 0 && !(n < 0 && errno == EAGAIN)) {
                break;  // the player ended the connection
            }
            for (ssize_t k = 0; k < n; ++k) {
                line += buf[k];
                if (buf[k] == '\n') {
                    taken += line == kOk ? 1 : 0;
                    ++answers;
                    line.clear();
                }
            }
            // Every answer shows the player at work: the time runs from the last one.
            deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        }
    }
    return answers;
}

bool SingleInstance::Listen(const std::string& path, Handler handler) {
    sockaddr_un address{};
    if (listener_ >= 0 || !Address(path, address)) {
        return false;
    }
    handler_ = std::move(handler);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    auto bindTo = [&] {
        return bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    };
    if (!bindTo()) {
        // A socket left behind by a player that crashed answers nobody: take its place. One
        // that answers belongs to a running player.
        const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool answers = probe >= 0 && ::connect(probe, reinterpret_cast<sockaddr*>(&address),
                                                     sizeof address) == 0;
        const bool stale = !answers && errno == ECONNREFUSED;
        if (probe >= 0) {
            close(probe);
        }
        if (!stale || unlink(path.c_str()) != 0 || !bindTo()) {
            close(fd);
            return false;
        }
    }
    chmod(path.c_str(), 0600);
    if (listen(fd, kMaxConnections) != 0) {
        close(fd);
        unlink(path.c_str());
        return false;
    }
    listener_ = fd;
    path_ = path;
    notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &SingleInstance::Accept);
    return true;
}

// Takes every waiting connection; when the door is full, the oldest connection makes way,
// so that connections held open cannot lock a real request out. A failure to accept (no
// descriptors left) only leaves the connection waiting; the door stays open.
void SingleInstance::Accept() {
    for (;;) {
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        if (PeerUid(fd) != static_cast<long>(getuid())) {
            close(fd);
            continue;
        }
        if (static_cast<int>(connections_.size()) >= kMaxConnections) {
            DropOldest();
        }
        Connection& c = connections_[fd];
        c.fd = fd;
        c.serial = ++serial_;
        c.reader = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(c.reader.get(), &QSocketNotifier::activated, this, [this, fd] { Read(fd); });
        c.writer = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        c.writer->setEnabled(false);
        connect(c.writer.get(), &QSocketNotifier::activated, this, [this, fd] { Flush(fd); });
        c.deadline = std::make_unique<QTimer>();
        c.deadline->setSingleShot(true);
        connect(c.deadline.get(), &QTimer::timeout, this, [this, fd] { Drop(fd); });
        c.deadline->start(kIdleMs);
    }
}

void SingleInstance::DropOldest() {
    auto oldest = connections_.begin();
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
        if (it->second.serial < oldest->second.serial) {
            oldest = it;
        }
    }
    if (oldest != connections_.end()) {
        Drop(oldest->first);
    }
}

void SingleInstance::Read(int fd) {
    auto it = connections_.find(fd);
    if (it == connections_.end()) {
        return;
    }
    char buf[4096];
    for (;;) {
        const ssize_t n = RetryOnInterrupt([&] { return recv(fd, buf, sizeof buf, 0); });
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        if (n <= 0 || !Take(it->second, buf, static_cast<size_t>(n))) {
            Drop(fd);  // the other end is done (or gone), or broke the rules
            return;
        }
        if (connections_.count(fd) == 0) {
            return;
        }
    }
}

// Requests are taken as they complete. Each must arrive whole within kRequestMs of its first
// byte: bytes trickling in do not buy time.
bool SingleInstance::Take(Connection& c, const char* data, size_t n) {
    for (;;) {
        const size_t missing = Missing(c.buffer);
        if (missing == std::string::npos) {
            Answer(c, false);  // no name is that long: refused, and the connection ends
            return false;
        }
        if (missing == 0) {
            const Request request{c.buffer[0], c.buffer.substr(5)};
            c.buffer.clear();
            const bool taken = ++c.requests <= kMaxRequests && handler_ && handler_(request);
            Answer(c, taken);
            c.deadline->start(kIdleMs);
            continue;
        }
        if (n == 0) {
            return true;
        }
        if (c.buffer.empty()) {
            c.deadline->start(kRequestMs);
        }
        const size_t k = std::min(missing, n);
        c.buffer.append(data, k);
        data += k;
        n -= k;
    }
}

// Answers wait until the other end reads them; while many wait, nothing more is read, so
// that a peer that never reads cannot make them pile up.
void SingleInstance::Answer(Connection& c, bool taken) {
    c.out += taken ? kOk : "no\n";
    Flush(c.fd);
}

void SingleInstance::Flush(int fd) {
    constexpr size_t kMostWaiting = 64 * 1024;
    auto it = connections_.find(fd);
    if (it == connections_.end()) {
        return;
    }
    Connection& c = it->second;
    while (!c.out.empty()) {
        const ssize_t n = RetryOnInterrupt(
            [&] { return send(fd, c.out.data(), c.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT); });
        if (n <= 0) {
            break;
        }
        c.out.erase(0, static_cast<size_t>(n));
    }
    c.writer->setEnabled(!c.out.empty());
    c.reader->setEnabled(c.out.size() < kMostWaiting);
}

void SingleInstance::Drop(int fd) {
    auto it = connections_.find(fd);
    if (it == connections_.end()) {
        return;
    }
    // A notifier or the timer may be the one calling: let them go after their signal.
    Connection& c = it->second;
    c.reader->setEnabled(false);
    c.reader.release()->deleteLater();
    c.writer->setEnabled(false);
    c.writer.release()->deleteLater();
    c.deadline->stop();
    c.deadline.release()->deleteLater();
    close(fd);
    connections_.erase(it);
}

}  // namespace lunavue
