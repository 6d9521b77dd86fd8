// A whole simulator connection fed an arbitrary client byte stream: packet framing, PRELOGIN,
// LOGIN7, ALL_HEADERS, SQL batches, RPC parameters and transaction-manager requests. Every login
// record that parses is let in, so the fuzzer reaches the request readers without a password.
#include "SocketPair.h"
#include "engine/Engine.h"
#include "tds/TdsConnection.h"

#include <QDirIterator>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr auto kLogin = "fuzz";
constexpr auto kPassword = "Fuzz_Passw0rd!";

struct SharedEngine {
    QTemporaryDir state;
    std::unique_ptr<sqlsim::Engine> engine;
    QSet<QString> initialFiles;

    SharedEngine() {
        if (!state.isValid())
            std::abort();
        sqlsim::EngineConfig config;
        config.stateDir = state.path();
        config.logins.push_back({QString::fromLatin1(kLogin), QString::fromLatin1(kPassword), true});
        engine = std::make_unique<sqlsim::Engine>(config);
        initialFiles = filesUnder(state.path());
    }

    // Backups and restored files a run wrote: removed so that a long run does not fill the disk.
    void removeNewFiles() const {
        for (const QString& path : filesUnder(state.path()))
            if (!initialFiles.contains(path))
                QFile::remove(path);
    }

    static QSet<QString> filesUnder(const QString& dir) {
        QSet<QString> files;
        for (QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
            files.insert(it.next());
        return files;
    }
};

SharedEngine& sharedEngine() {
    static SharedEngine shared;
    return shared;
}

// The client's side of the conversation: sends the input a message at a time (as its packet
// headers frame it) and waits for the server's whole answer before the next, the way a driver
// does, so that batches run to their end instead of being cut short by the next request.
class ScriptedClient {
public:
    ScriptedClient(int fd, const uint8_t* data, size_t size) : fd_(fd), data_(data), size_(size) {}

    void run() {
        size_t at = 0;
        while (at < size_) {
            bool framed = false;
            const size_t end = messageEnd(at, framed);
            if (!sendAll(at, end))
                break;
            at = end;
            // A message the headers do not close would leave the server waiting for the rest:
            // there is no answer to wait for.
            if (!framed || !awaitAnswer())
                break;
        }
        ::shutdown(fd_, SHUT_WR);
        char sink[4096];
        while (::recv(fd_, sink, sizeof sink, 0) > 0) {
        }
    }

private:
    // End of the message starting at `from`: through the packet with the end-of-message bit,
    // or the rest of the input when the headers do not frame it.
    size_t messageEnd(size_t from, bool& framed) const {
        size_t at = from;
        framed = false;
        while (at + 8 <= size_) {
            const size_t length = size_t(data_[at + 2]) << 8 | data_[at + 3];
            if (length < 8 || at + length > size_)
                return size_;
            const bool last = data_[at + 1] & 0x01;
            at += length;
            if (last) {
                framed = true;
                return at;
            }
        }
        return size_;
    }

    bool sendAll(size_t from, size_t to) const {
        while (from < to) {
            const ssize_t n = ::send(fd_, data_ + from, to - from, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            from += size_t(n);
        }
        return true;
    }

    bool readExactly(uint8_t* buffer, size_t length) const {
        size_t got = 0;
        while (got < length) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 500) <= 0)
                return false; // no answer: the server is waiting for more of a message
            const ssize_t n = ::recv(fd_, buffer + got, length - got, 0);
            if (n <= 0)
                return false;
            got += size_t(n);
        }
        return true;
    }

    // Reads answer packets up to the one with the end-of-message bit.
    bool awaitAnswer() const {
        for (;;) {
            uint8_t header[8];
            if (!readExactly(header, sizeof header))
                return false;
            const size_t length = size_t(header[2]) << 8 | header[3];
            if (length < 8)
                return false;
            std::vector<uint8_t> body(length - 8);
            if (!readExactly(body.data(), body.size()))
                return false;
            if (header[1] & 0x01)
                return true;
        }
    }

    int fd_;
    const uint8_t* data_;
    size_t size_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sqlsim::Engine& engine = *sharedEngine().engine;
    SocketPair sockets;
    std::thread client([&] { ScriptedClient(sockets.client(), data, size).run(); });

    const std::atomic<bool> stopping{false};
    {
        sqlsim::tds::TdsConnection connection(
            sockets.server(),
            [&engine](const QString&, const QString&, sqlsim::Message* failure) {
                return engine.login(QString::fromLatin1(kLogin), QString::fromLatin1(kPassword), failure);
            },
            QStringLiteral("FUZZ"), stopping);
        connection.run();
    }
    ::shutdown(sockets.server(), SHUT_RDWR);
    client.join();
    sharedEngine().removeNewFiles();
    return 0;
}
