#pragma once
// The TCP listener on 127.0.0.1: one thread accepts, one thread serves each connection.

#include "TdsConnection.h"

#include <list>
#include <mutex>
#include <thread>

namespace sqlsim::tds {

class TdsServer {
public:
    static constexpr int kMaxConnections = 256;

    TdsServer(Authenticator authenticator, QString serverName, EncryptionPolicy encryption = {});
    ~TdsServer();
    TdsServer(const TdsServer&) = delete;
    TdsServer& operator=(const TdsServer&) = delete;

    // Binds 127.0.0.1:port (0 picks a free one) and starts accepting. Returns the port.
    // Throws std::runtime_error when the port cannot be bound.
    quint16 start(quint16 port);
    // Closes the listener, cuts every connection and waits for their threads.
    void stop();

private:
    struct Client {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    void acceptLoop();
    void reapFinished();

    Authenticator authenticator_;
    QString serverName_;
    EncryptionPolicy encryption_;
    int listenFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::mutex mutex_;
    std::list<Client> clients_;
};

} // namespace sqlsim::tds
