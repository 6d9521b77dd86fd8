#include "RecordingRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

RecordingRelay::RecordingRelay(quint16 targetPort) : targetPort_(targetPort) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0)
        return;
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
}

RecordingRelay::~RecordingRelay() {
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
}

QByteArray RecordingRelay::fromClient() const {
    std::lock_guard lock(mutex_);
    return fromClient_;
}

QByteArray RecordingRelay::fromServer() const {
    std::lock_guard lock(mutex_);
    return fromServer_;
}

void RecordingRelay::run() {
    while (!stopping_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0)
            relay(client);
    }
}

// One connection at a time is all the tests need: a client's login and its statements.
void RecordingRelay::relay(int client) {
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(targetPort_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (server < 0 || ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(client);
        if (server >= 0)
            ::close(server);
        return;
    }
    pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    char buffer[16384];
    bool open = true;
    while (open && !stopping_) {
        if (::poll(fds, 2, 50) <= 0)
            continue;
        for (int i = 0; i < 2 && open; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                open = false;
                break;
            }
            {
                std::lock_guard lock(mutex_);
                (i == 0 ? fromClient_ : fromServer_).append(buffer, int(n));
            }
            const int to = fds[1 - i].fd;
            for (ssize_t sent = 0; sent < n;) {
                const ssize_t m = ::send(to, buffer + sent, size_t(n - sent), MSG_NOSIGNAL);
                if (m <= 0) {
                    open = false;
                    break;
                }
                sent += m;
            }
        }
    }
    ::close(client);
    ::close(server);
}
