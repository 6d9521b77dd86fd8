// A simulator connection with TLS on, fed an arbitrary client byte stream: the PRELOGIN offer,
// the handshake tunnelled in PRELOGIN packets (off, force), or TLS records on the bare socket
// (strict). The first input byte picks the mode. No login can succeed: only the framing and
// the handshake are reached.
#include "SocketPair.h"
#include "tds/ServerCertificate.h"
#include "tds/TdsConnection.h"
#include "tds/TlsContext.h"

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <thread>

namespace {

std::shared_ptr<const sqlsim::tds::TlsContext> sharedContext() {
    static const auto context = std::make_shared<const sqlsim::tds::TlsContext>(
        sqlsim::tds::ServerCertificate::selfSigned(QStringLiteral("fuzz")), sqlsim::tds::defaultTlsVersions());
    return context;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    using sqlsim::tds::EncryptionMode;
    constexpr EncryptionMode kModes[] = {EncryptionMode::Off, EncryptionMode::Force, EncryptionMode::Strict};
    const sqlsim::tds::EncryptionPolicy policy{kModes[data[0] % 3], sharedContext()};
    ++data;
    --size;

    SocketPair sockets;
    // The client writes everything and reads whatever comes back on two threads, so that neither
    // side can block the other on a full socket buffer.
    std::thread writer([&] {
        for (size_t at = 0; at < size;) {
            const ssize_t n = ::send(sockets.client(), data + at, size - at, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            at += size_t(n);
        }
        ::shutdown(sockets.client(), SHUT_WR);
    });
    std::thread reader([&] {
        char sink[4096];
        while (::recv(sockets.client(), sink, sizeof sink, 0) > 0) {
        }
    });

    const std::atomic<bool> stopping{false};
    {
        sqlsim::tds::TdsConnection connection(
            sockets.server(), [](const QString&, const QString&, sqlsim::Message*) { return nullptr; },
            QStringLiteral("FUZZ"), stopping, policy);
        connection.run();
    }
    ::shutdown(sockets.server(), SHUT_RDWR);
    writer.join();
    reader.join();
    return 0;
}
