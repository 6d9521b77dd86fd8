#pragma once
// Whole reads and writes on a connected socket, retried across signals and short transfers.

#include <QtGlobal>

namespace sqlsim::tds {

// Exactly `length` bytes; false when the peer closes or the socket fails first.
bool receiveAll(int fd, char* buffer, qsizetype length);
// Every byte, never raising SIGPIPE; false when the socket fails first.
bool sendAll(int fd, const char* data, qsizetype length);

} // namespace sqlsim::tds
