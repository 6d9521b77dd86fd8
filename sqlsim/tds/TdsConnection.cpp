#include "TdsConnection.h"

#include "Login7.h"
#include "TdsVersion.h"
#include "TokenEncoder.h"

#include <QtEndian>

#include <algorithm>
#include <chrono>
#include <thread>

namespace sqlsim::tds {

namespace {

constexpr quint16 kSpExecuteSql = 10;

// Streams the engine's items into a token buffer as they come.
class EncodingSink : public ResponseSink {
public:
    EncodingSink(const TokenEncoder& encoder, ByteWriter& out, bool insideProcedure)
        : encoder_(encoder), out_(out), insideProcedure_(insideProcedure) {}

    void add(ResponseItem item) override {
        if (auto* m = std::get_if<Message>(&item); m && m->isError())
            sawError = true;
        if (auto* d = std::get_if<Done>(&item); d && insideProcedure_) {
            // Statements of a procedure call end in DONEINPROC; the call itself ends in DONEPROC.
            d->kind = Done::Kind::DoneInProc;
            d->more = true;
        }
        encoder_.encode(item, out_);
    }
    bool sawError = false;

private:
    const TokenEncoder& encoder_;
    ByteWriter& out_;
    bool insideProcedure_;
};

Message protocolMessage(int number, int severity, int state, const QString& text) {
    Message m;
    m.number = number;
    m.severity = severity;
    m.state = state;
    m.text = text;
    return m;
}

} // namespace

TdsConnection::TdsConnection(int fd, Authenticator authenticator, QString serverName,
                             const std::atomic<bool>& stopping)
    : fd_(fd), authenticator_(std::move(authenticator)), serverName_(std::move(serverName)), stopping_(stopping),
      channel_(fd) {}

TdsConnection::~TdsConnection() = default;

void TdsConnection::run() noexcept {
    try {
        if (!handshake())
            return;
        while (!closed_ && !stopping_) {
            TdsMessage request;
            if (!channel_.readMessage(request))
                return;
            switch (request.type) {
            case packetType::SqlBatch: {
                const int start = skipAllHeaders(request.payload);
                const QByteArray text = request.payload.mid(start);
                runBatch(QString(reinterpret_cast<const QChar*>(text.constData()), int(text.size() / 2)), false);
                break;
            }
            case packetType::Rpc:
                runRpc(request.payload);
                break;
            case packetType::TransactionManager:
                runTransactionRequest(request.payload);
                break;
            case packetType::Attention:
                // The batch had already finished when the client gave up on it.
                answerAttention();
                break;
            default:
                return; // not a request type a client sends after login
            }
        }
    } catch (const std::exception&) {
        // Malformed input: this connection ends, nothing else is affected.
    }
}

bool TdsConnection::handshake() {
    TdsMessage message;
    if (!channel_.readMessage(message))
        return false;
    if (message.type == packetType::PreLogin) {
        answerPreLogin();
        if (!channel_.readMessage(message))
            return false;
    }
    if (message.type != packetType::Login7)
        return false;
    return login(message.payload);
}

void TdsConnection::answerPreLogin() {
    // VERSION 15.0.2000, ENCRYPTION not supported (clients then log in without TLS),
    // INSTOPT 0, THREADID empty, MARS off.
    ByteWriter w;
    const quint16 dataStart = 5 * 5 + 1;
    w.u8(0x00); w.u16be(dataStart); w.u16be(6);
    w.u8(0x01); w.u16be(dataStart + 6); w.u16be(1);
    w.u8(0x02); w.u16be(dataStart + 7); w.u16be(1);
    w.u8(0x03); w.u16be(dataStart + 8); w.u16be(0);
    w.u8(0x04); w.u16be(dataStart + 8); w.u16be(1);
    w.u8(0xFF);
    w.u8(15); w.u8(0); w.u16be(2000); w.u16be(0);
    w.u8(0x02);
    w.u8(0x00);
    w.u8(0x00);
    channel_.sendMessage(packetType::TabularResult, w.bytes());
}

bool TdsConnection::login(const QByteArray& payload) {
    const Login7 request = parseLogin7(payload);
    version_ = negotiatedVersion(request.tdsVersion);
    encoder_ = std::make_unique<TokenEncoder>(version_, serverName_);

    ByteWriter out;
    Message failure;
    if (request.integratedSecurity) {
        failure = protocolMessage(
            18452, 14, 1,
            QStringLiteral("Login failed. The login is from an untrusted domain and cannot be used with Integrated "
                           "authentication."));
    } else {
        session_ = authenticator_(request.userName, request.password, &failure);
    }
    if (!session_) {
        encoder_->message(failure, out);
        encoder_->done(token::Done, doneStatus::Error, 0, 0, out);
        send(out);
        return false;
    }

    // 0 asks for the server's choice, which is 4096, the default of MS-TDS 2.2.3.1.3; the answer
    // must lie within 512..32767 (2.2.7.9).
    const quint32 requested = request.packetSize == 0 ? 4096 : request.packetSize;
    const int packetSize = int(std::clamp<quint32>(requested, 512, quint32(PacketChannel::kMaxPacketSize)));
    channel_.setSpid(quint16(session_->spid()));

    encoder_->envChange(1, QStringLiteral("master"), QStringLiteral("master"), out);
    Message changed = protocolMessage(5701, 0, 2, QStringLiteral("Changed database context to 'master'."));
    encoder_->message(changed, out);
    encoder_->envChangeBytes(7, QByteArray(reinterpret_cast<const char*>(kCollation), 5), {}, out);
    encoder_->envChange(2, QStringLiteral("us_english"), QString(), out);
    encoder_->message(protocolMessage(5703, 0, 1, QStringLiteral("Changed language setting to us_english.")), out);
    encoder_->loginAck(out);
    encoder_->envChange(4, QString::number(packetSize), QString::number(packetSize), out);
    encoder_->done(token::Done, 0, 0, 0, out);
    send(out);
    channel_.setPacketSize(packetSize);
    return true;
}

int TdsConnection::skipAllHeaders(const QByteArray& payload) const {
    if (!isTds72OrLater(version_))
        return 0;
    ByteReader r(payload);
    const quint32 total = r.u32le();
    if (total < 4 || total > quint32(payload.size()))
        throw ProtocolError("ALL_HEADERS length out of range");
    return int(total);
}

void TdsConnection::send(const ByteWriter& tokens) {
    if (!channel_.sendMessage(packetType::TabularResult, tokens.bytes()))
        closed_ = true;
}

void TdsConnection::runBatch(const QString& text, bool asProcedure) {
    ByteWriter out;
    EncodingSink sink(*encoder_, out, asProcedure);
    CancelToken cancel;
    std::atomic<bool> finished{false};

    // The statement runs on its own thread so that this one can watch the socket for an
    // ATTENTION (the client's time-out or cancel) while it runs.
    std::thread worker([&] {
        try {
            session_->executeBatch(text, sink, cancel);
        } catch (const std::exception& e) {
            sink.add(protocolMessage(50000, 16, 1, QString::fromUtf8(e.what())));
            Done done;
            done.error = true;
            sink.add(done);
        }
        finished = true;
        batchFinished_.raise();
    });

    // The wake signal answers as soon as the batch ends; the time-out only bounds how late a
    // stop of the whole server is noticed.
    bool attention = false;
    while (!finished) {
        if (stopping_) {
            cancel.cancel();
            closed_ = true;
        } else if (channel_.waitReadable(20, batchFinished_.fd()) && !finished) {
            TdsMessage incoming;
            if (!channel_.readMessage(incoming)) {
                cancel.cancel(); // the client went away
                closed_ = true;
            } else if (incoming.type == packetType::Attention) {
                cancel.cancel();
                attention = true;
            } else {
                cancel.cancel();
                closed_ = true; // a second request while one runs: not something a client does
            }
            while (!finished)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    worker.join();
    batchFinished_.clear();
    if (closed_)
        return;
    if (attention) {
        answerAttention();
        return;
    }
    if (asProcedure) {
        encoder_->returnStatus(ReturnStatus{sink.sawError ? -6 : 0}, out);
        encoder_->done(token::DoneProc, sink.sawError ? doneStatus::Error : 0, 0, 0, out);
    }
    send(out);
}

void TdsConnection::answerAttention() {
    ByteWriter out;
    encoder_->done(token::Done, doneStatus::Attention, 0, 0, out);
    send(out);
}

void TdsConnection::runRpc(const QByteArray& payload) {
    ByteReader r(payload, skipAllHeaders(payload));
    const quint16 nameLength = r.u16le();
    QString procedure;
    bool executeSql = false;
    if (nameLength == 0xFFFF) {
        executeSql = r.u16le() == kSpExecuteSql;
        procedure = QStringLiteral("sp_executesql");
    } else {
        procedure = r.utf16(nameLength);
        executeSql = procedure.compare(QStringLiteral("sp_executesql"), Qt::CaseInsensitive) == 0 ||
                     procedure.compare(QStringLiteral("sys.sp_executesql"), Qt::CaseInsensitive) == 0;
    }
    r.u16le(); // option flags

    if (executeSql) {
        r.bVarchar(); // parameter name
        r.u8();       // status flags
        const quint8 type = r.u8();
        QString statement;
        if (type == 0xE7 || type == 0xEF) { // NVARCHAR / NCHAR
            const quint16 maxLength = r.u16le();
            r.skip(5); // collation
            if (maxLength == 0xFFFF) {
                // PLP: total length, then chunks until a zero-length one.
                r.skip(8);
                QByteArray bytes;
                for (quint32 chunk = r.u32le(); chunk != 0; chunk = r.u32le()) {
                    if (chunk > quint32(r.remaining()))
                        throw ProtocolError("PLP chunk beyond the message");
                    bytes += r.raw(int(chunk));
                }
                statement = QString(reinterpret_cast<const QChar*>(bytes.constData()), int(bytes.size() / 2));
            } else {
                const quint16 length = r.u16le();
                if (length != 0xFFFF)
                    statement = r.utf16(length / 2);
            }
        } else if (type == 0x63) { // NTEXT
            r.u32le();
            r.skip(5);
            const quint8 pointerLength = r.u8();
            if (pointerLength > 0)
                r.skip(pointerLength + 8);
            const quint32 length = r.u32le();
            if (length > quint32(r.remaining()))
                throw ProtocolError("NTEXT beyond the message");
            statement = r.utf16(int(length / 2));
        } else {
            throw ProtocolError("unsupported statement parameter type");
        }
        runBatch(statement, true);
        return;
    }

    ByteWriter out;
    Message m = protocolMessage(2812, 16, 62, QStringLiteral("Could not find stored procedure '%1'.").arg(procedure));
    encoder_->message(m, out);
    encoder_->done(token::DoneProc, doneStatus::Error, 0, 0, out);
    send(out);
}

void TdsConnection::runTransactionRequest(const QByteArray& payload) {
    enum : quint16 { GetDtcAddress = 0, Begin = 5, Commit = 7, Rollback = 8 };
    ByteReader r(payload, skipAllHeaders(payload));
    const quint16 request = r.u16le();
    ByteWriter out;
    QByteArray descriptor(8, '\0');
    qToLittleEndian<quint64>(quint64(session_->spid()) << 32 | 1, descriptor.data());

    auto begin = [&] {
        session_->beginTransaction();
        encoder_->envChangeBytes(8, descriptor, {}, out);
    };
    switch (request) {
    case Begin:
        begin();
        break;
    case Commit:
    case Rollback: {
        r.bVarchar(); // transaction name
        const bool beginNew = r.remaining() > 0 && (r.u8() & 0x01);
        if (request == Commit)
            session_->commitTransaction();
        else
            session_->rollbackTransaction();
        encoder_->envChangeBytes(request == Commit ? 9 : 10, {}, descriptor, out);
        if (beginNew)
            begin();
        break;
    }
    case GetDtcAddress:
    default:
        encoder_->message(protocolMessage(8525, 16, 1,
                                          QStringLiteral("Distributed transaction completed. Either enlist this "
                                                         "session in a new transaction or the NULL transaction.")),
                          out);
        encoder_->done(token::Done, doneStatus::Error, 0, 0, out);
        send(out);
        return;
    }
    encoder_->done(token::Done, 0, 0, 0, out);
    send(out);
}

} // namespace sqlsim::tds
