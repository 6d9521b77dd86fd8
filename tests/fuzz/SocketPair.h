#pragma once
// A connected pair of local stream sockets: the client's end and the server's end of a
// conversation held within the fuzzing process.

#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

class SocketPair {
public:
    SocketPair() {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_) != 0)
            std::abort();
    }
    ~SocketPair() {
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    SocketPair(const SocketPair&) = delete;
    SocketPair& operator=(const SocketPair&) = delete;

    int client() const { return fds_[0]; }
    int server() const { return fds_[1]; }

private:
    int fds_[2] = {-1, -1};
};
