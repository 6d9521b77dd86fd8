#pragma once
// A TDS server stand-in on a free loopback port, on its own thread, that does only the part of a
// connection before LOGIN7: the PRELOGIN answer, then a TLS handshake tunnelled in PRELOGIN
// packets (or TLS first, strict), then records what the client sends inside TLS.

#include "TestCertificates.h"

#include <QByteArray>
#include <QMutex>
#include <QSemaphore>
#include <QThread>

#include <atomic>

struct FakeServerSetup {
    enum class Mode {
        Tunnelled,         // PRELOGIN answer, then TLS inside PRELOGIN packets
        Strict,            // TLS before anything else, ALPN "tds/8.0"
        Garbage,           // answers PRELOGIN with bytes that are not TDS
        HangUpInHandshake, // closes on the client's first TLS message
    };
    Mode mode = Mode::Tunnelled;
    quint8 preloginEncryption = 0x00; // the ENCRYPTION answer
    QByteArray certificateDer;
    const TestKeyPair* key = nullptr;
    int minTlsVersion = 0;
    int maxTlsVersion = 0;
};

class FakeTlsServer : public QThread {
public:
    explicit FakeTlsServer(FakeServerSetup setup);
    ~FakeTlsServer() override;

    quint16 port() const { return port_; }
    int connections() const { return connections_; }
    bool handshakeDone() const { return handshakes_ > 0; }
    // What the client sent inside TLS after the handshake, over every connection.
    QByteArray received() const;
    // The ALPN protocols the client offered in its last strict handshake, in wire form.
    QByteArray offeredAlpn() const;
    // Every byte the client sent on the wire, over every connection.
    QByteArray wire() const;

protected:
    void run() override;

private:
    void serve(class QTcpSocket& socket);

    FakeServerSetup setup_;
    QSemaphore listening_;
    std::atomic<quint16> port_{0};
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> handshakes_{0};
    mutable QMutex mutex_;
    QByteArray received_;
    QByteArray offeredAlpn_;
    QByteArray wire_;
};
