#pragma once
// A TDS client that shows the wire: it logs in with a minimal LOGIN7 (TDS 7.4, no encryption) and
// reads the server's answers packet by packet, each with the time it arrived, so that tests can
// check how a response is framed and when its parts reach the client.

#include <QElapsedTimer>
#include <QList>
#include <QTcpSocket>

#include <optional>

class RawTdsClient {
public:
    struct Packet {
        quint8 type = 0;
        quint8 status = 0;
        quint8 id = 0;
        QByteArray body;
        qint64 arrivedMs = 0; // since the client was made
        bool endOfMessage() const { return status & 0x01; }
    };

    RawTdsClient();

    // Pre-login and LOGIN7; true when the login answer ends in a DONE without DONE_ERROR.
    bool login(quint16 port, const QString& user, const QString& password);
    void sendBatch(const QString& sql);
    void sendAttention();
    // An RPC by procedure id (sp_prepexec is 13) with parameters already encoded.
    void sendRpc(quint16 procedureId, const QByteArray& parameters);
    // Parameter encodings for sendRpc.
    static QByteArray intParameter(const QString& name, std::optional<qint32> value, bool output = false);
    static QByteArray textParameter(const QString& name, const std::optional<QString>& value);
    // The next packet; false when none arrives within timeoutMs.
    bool nextPacket(Packet& packet, int timeoutMs);
    // The packets of one response message, up to and including its EOM packet; fewer when
    // nothing more arrives within timeoutMs.
    QList<Packet> readMessage(int timeoutMs = 10000);
    // True when no byte arrives within waitMs.
    bool silentFor(int waitMs);
    qint64 elapsedMs() const { return clock_.elapsed(); }

    // Message numbers of the INFO and ERROR tokens in a run of tokens that starts at a token
    // boundary; stops at the first token it cannot step over.
    static QList<int> messageNumbers(const QByteArray& tokens);
    // Status of the DONE token that ends a message's tokens; -1 when they do not end in one.
    static int finalDoneStatus(const QByteArray& tokens);

private:
    void send(quint8 type, const QByteArray& payload);

    QTcpSocket socket_;
    QElapsedTimer clock_;
    QByteArray buffer_;
};
