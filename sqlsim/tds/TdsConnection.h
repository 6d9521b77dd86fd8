#pragma once
// One client connection: pre-login, login, then requests until the client leaves. Runs on
// its own thread; a protocol fault ends this connection only.

#include "../engine/Engine.h"
#include "ConnectionEncryption.h"
#include "PacketChannel.h"
#include "WakeSignal.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>

namespace sqlsim::tds {

class TokenEncoder;
class ByteWriter;

using Authenticator =
    std::function<std::unique_ptr<Session>(const QString& user, const QString& password, Message* failure)>;

class TdsConnection {
public:
    TdsConnection(int fd, Authenticator authenticator, QString serverName, const std::atomic<bool>& stopping,
                  EncryptionPolicy encryption = {});
    ~TdsConnection();
    TdsConnection(const TdsConnection&) = delete;
    TdsConnection& operator=(const TdsConnection&) = delete;

    void run() noexcept;

private:
    bool handshake();
    void answerPreLogin(quint8 encryption);
    bool login(const QByteArray& payload);
    // outputs: OUTPUT parameters of a procedure call, written after its return status.
    void runBatch(const QString& text, bool asProcedure, const std::function<void(ByteWriter&)>& outputs = {});
    void runRpc(const QByteArray& payload);
    void runTransactionRequest(const QByteArray& payload);
    void answerAttention();
    int skipAllHeaders(const QByteArray& payload) const;
    void send(const ByteWriter& tokens);

    int fd_;
    Authenticator authenticator_;
    QString serverName_;
    const std::atomic<bool>& stopping_;
    PacketChannel channel_;
    ConnectionEncryption encryption_;
    WakeSignal batchWake_; // raised by the batch's thread when it flushes tokens and when it ends
    quint32 version_ = 0;
    std::unique_ptr<TokenEncoder> encoder_;
    std::unique_ptr<Session> session_;
    bool closed_ = false;
    std::map<qint32, QString> prepared_; // sp_prepare handle -> statement, for this connection
    qint32 nextHandle_ = 1;
};

} // namespace sqlsim::tds
