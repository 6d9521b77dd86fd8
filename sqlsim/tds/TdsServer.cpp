#include "TdsServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace sqlsim::tds {

TdsServer::TdsServer(Authenticator authenticator, QString serverName, EncryptionPolicy encryption)
    : authenticator_(std::move(authenticator)), serverName_(std::move(serverName)),
      encryption_(std::move(encryption)) {}

TdsServer::~TdsServer() { stop(); }

quint16 TdsServer::start(quint16 port) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        throw std::runtime_error("cannot create a socket");
    const int yes = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // loopback only, never any other interface
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 ||
        ::listen(listenFd_, 64) < 0) {
        const int error = errno;
        ::close(listenFd_);
        listenFd_ = -1;
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + strerror(error));
    }
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    acceptor_ = std::thread([this] { acceptLoop(); });
    return ntohs(address.sin_port);
}

void TdsServer::acceptLoop() {
    while (!stopping_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        reapFinished();
        std::lock_guard lock(mutex_);
        if (int(clients_.size()) >= kMaxConnections) {
            ::close(fd);
            continue;
        }
        Client& client = clients_.emplace_back();
        client.fd = fd;
        client.thread = std::thread([this, &client] {
            {
                TdsConnection connection(client.fd, authenticator_, serverName_, stopping_, encryption_);
                connection.run();
            } // the session (and its temporary tables) ends before the socket closes
            ::shutdown(client.fd, SHUT_RDWR);
            client.finished = true;
        });
    }
}

void TdsServer::reapFinished() {
    std::lock_guard lock(mutex_);
    for (auto it = clients_.begin(); it != clients_.end();) {
        if (it->finished) {
            it->thread.join();
            ::close(it->fd);
            it = clients_.erase(it);
        } else {
            ++it;
        }
    }
}

void TdsServer::stop() {
    if (stopping_.exchange(true))
        return;
    if (acceptor_.joinable())
        acceptor_.join();
    if (listenFd_ >= 0)
        ::close(listenFd_);
    listenFd_ = -1;
    std::lock_guard lock(mutex_);
    for (Client& client : clients_)
        ::shutdown(client.fd, SHUT_RDWR);
    for (Client& client : clients_) {
        if (client.thread.joinable())
            client.thread.join();
        ::close(client.fd);
    }
    clients_.clear();
}

} // namespace sqlsim::tds
