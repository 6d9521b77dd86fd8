#include "SocketIo.h"

#include <cerrno>
#include <sys/socket.h>

namespace sqlsim::tds {

bool receiveAll(int fd, char* buffer, qsizetype length) {
    while (length > 0) {
        const ssize_t n = ::recv(fd, buffer, size_t(length), 0);
        if (n == 0)
            return false;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        buffer += n;
        length -= n;
    }
    return true;
}

bool sendAll(int fd, const char* data, qsizetype length) {
    while (length > 0) {
        const ssize_t n = ::send(fd, data, size_t(length), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        length -= n;
    }
    return true;
}

} // namespace sqlsim::tds
