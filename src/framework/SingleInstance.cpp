#include "framework/SingleInstance.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>

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

bool SendAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
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

std::string SingleInstance::DefaultPath() {
    const char* name = std::getenv("LUNAVUE_INSTANCE");
    if (name != nullptr && *name == '/') {
        return name;
    }
    const std::string folder = PrivateFolder();
    if (folder.empty()) {
        return {};
    }
    const std::string display = DisplayName();
    return folder + "/" + (name != nullptr && *name != '\0' ? name : "lunavue") +
           (display.empty() ? "" : "-" + display) + ".socket";
}

bool SingleInstance::Forward(const std::string& path, const std::vector<Request>& requests,
                             int timeoutMs) {
    sockaddr_un address{};
    if (!Address(path, address)) {
        return false;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              PeerUid(fd) == static_cast<long>(getuid());  // never to another user
    for (size_t i = 0; ok && i < requests.size(); ++i) {
        ok = SendAll(fd, Encode(requests[i]));
    }
    // Every request answered "ok\n" before the time is up.
    const size_t want = 3 * requests.size();
    std::string answers;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (ok && answers.size() < want) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
            ok = false;
            break;
        }
        char buf[256];
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            ok = false;
            break;
        }
        answers.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    if (!ok) {
        return false;
    }
    for (size_t i = 0; i < requests.size(); ++i) {
        if (answers.compare(3 * i, 3, kOk) != 0) {
            return false;
        }
    }
    return true;
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

// Takes every waiting connection. A failure to accept (no descriptors left) only leaves the
// connection waiting; the door stays open.
void SingleInstance::Accept() {
    for (;;) {
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        if (static_cast<int>(connections_.size()) >= kMaxConnections ||
            PeerUid(fd) != static_cast<long>(getuid())) {
            close(fd);
            continue;
        }
        Connection& c = connections_[fd];
        c.fd = fd;
        c.notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(c.notifier.get(), &QSocketNotifier::activated, this, [this, fd] { Read(fd); });
        c.idle = std::make_unique<QTimer>();
        c.idle->setSingleShot(true);
        connect(c.idle.get(), &QTimer::timeout, this, [this, fd] { Drop(fd); });
        c.idle->start(kIdleMs);
    }
}

void SingleInstance::Read(int fd) {
    auto it = connections_.find(fd);
    if (it == connections_.end()) {
        return;
    }
    Connection& c = it->second;
    char buf[4096];
    for (;;) {
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        }
        if (n <= 0) {
            Drop(fd);  // the other end is done (or gone)
            return;
        }
        c.buffer.append(buf, static_cast<size_t>(n));
        // Whole requests are taken as they complete; one longer than allowed ends the
        // connection before it can grow.
        while (c.buffer.size() >= 5) {
            uint32_t length = 0;
            for (int i = 1; i <= 4; ++i) {
                length = length << 8 | static_cast<uint8_t>(c.buffer[static_cast<size_t>(i)]);
            }
            if (length > kMaxRequest || (c.buffer[0] != kName && c.buffer[0] != kFlag)) {
                Drop(fd);
                return;
            }
            if (c.buffer.size() < 5 + length) {
                break;
            }
            const Request request{c.buffer[0], c.buffer.substr(5, length)};
            c.buffer.erase(0, 5 + length);
            if (handler_) {
                handler_(request);
            }
            SendAll(fd, kOk);
        }
    }
    c.idle->start(kIdleMs);
}

void SingleInstance::Drop(int fd) {
    auto it = connections_.find(fd);
    if (it == connections_.end()) {
        return;
    }
    // The notifier or the timer may be the one calling: let them go after their signal.
    it->second.notifier->setEnabled(false);
    it->second.notifier.release()->deleteLater();
    it->second.idle->stop();
    it->second.idle.release()->deleteLater();
    close(fd);
    connections_.erase(it);
}

}  // namespace lunavue
