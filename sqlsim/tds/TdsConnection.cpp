#include "TdsConnection.h"

#include "Login7.h"
#include "RpcParameters.h"
#include "TdsVersion.h"
#include "TokenEncoder.h"

#include <QtEndian>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <mutex>
#include <thread>
#include <utility>

namespace sqlsim::tds {

namespace {

// ProcIDs of the procedures a client may call by number (MS-TDS 2.2.6.6).
namespace procId {
constexpr quint16 ExecuteSql = 10;
constexpr quint16 Prepare = 11;
constexpr quint16 Execute = 12;
constexpr quint16 PrepExec = 13;
constexpr quint16 Unprepare = 15;
} // namespace procId

// The same procedures called by name, with or without the sys schema.
quint16 procedureId(QString name) {
    if (name.startsWith(QLatin1String("sys."), Qt::CaseInsensitive))
        name = name.mid(4);
    static const std::pair<const char*, quint16> known[] = {{"sp_executesql", procId::ExecuteSql},
                                                            {"sp_prepare", procId::Prepare},
                                                            {"sp_execute", procId::Execute},
                                                            {"sp_prepexec", procId::PrepExec},
                                                            {"sp_unprepare", procId::Unprepare}};
    for (const auto& [text, id] : known)
        if (name.compare(QLatin1String(text), Qt::CaseInsensitive) == 0)
            return id;
    return 0;
}

// Encodes the engine's items as the batch's thread produces them. A flush hands the tokens so far
// to the connection's thread, which alone touches the socket, and wakes it to send them.
class EncodingSink : public ResponseSink {
public:
    EncodingSink(const TokenEncoder& encoder, bool insideProcedure, WakeSignal& wake)
        : encoder_(encoder), insideProcedure_(insideProcedure), wake_(wake) {}

    void add(ResponseItem item) override {
        if (auto* m = std::get_if<Message>(&item); m && m->isError())
            sawError = true;
        if (auto* d = std::get_if<Done>(&item); d && insideProcedure_) {
            // Statements of a procedure call end in DONEINPROC; the call itself ends in DONEPROC.
            d->kind = Done::Kind::DoneInProc;
            d->more = true;
        }
        encoder_.encode(item, pending_);
    }
    void flush() override {
        {
            std::lock_guard lock(mutex_);
            ready_ += pending_.bytes();
        }
        pending_.bytes().clear();
        wake_.raise();
    }
    // Tokens flushed and not yet taken.
    QByteArray takeReady() {
        std::lock_guard lock(mutex_);
        return std::exchange(ready_, QByteArray());
    }
    // Once the batch's thread has ended: every token not yet taken.
    QByteArray takeAll() { return takeReady() + std::exchange(pending_.bytes(), QByteArray()); }

    bool sawError = false; // read once the batch's thread has ended

private:
    const TokenEncoder& encoder_;
    bool insideProcedure_;
    WakeSignal& wake_;
    ByteWriter pending_; // the batch's thread only
    std::mutex mutex_;
    QByteArray ready_;
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
                             const std::atomic<bool>& stopping, EncryptionPolicy encryption)
    : fd_(fd), authenticator_(std::move(authenticator)), serverName_(std::move(serverName)), stopping_(stopping),
      channel_(fd), encryption_(fd, std::move(encryption)) {}

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
    if (!encryption_.beforePreLogin(channel_))
        return false;
    TdsMessage message;
    if (!channel_.readMessage(message))
        return false;
    if (message.type == packetType::PreLogin) {
        const EncryptionAnswer agreed = encryption_.answer(message.payload);
        answerPreLogin(agreed.answer);
        if (!encryption_.afterAnswer(channel_, agreed) || !channel_.readMessage(message))
            return false;
    } else if (!encryption_.acceptsLoginWithoutPreLogin()) {
        return false;
    }
    if (message.type != packetType::Login7)
        return false;
    return login(message.payload);
}

void TdsConnection::answerPreLogin(quint8 encryption) {
    // VERSION 15.0.2000, ENCRYPTION as negotiated, INSTOPT 0, THREADID empty, MARS off
    // (MS-TDS 2.2.6.5): the option table of token, offset, length, then the values.
    struct Option {
        quint8 token;
        QByteArray value;
    };
    const Option options[] = {{0x00, QByteArray::fromHex("0f0007d00000")},
                              {0x01, QByteArray(1, char(encryption))},
                              {0x02, QByteArray(1, '\0')},
                              {0x03, QByteArray()},
                              {0x04, QByteArray(1, '\0')}};
    ByteWriter w;
    auto offset = quint16(std::size(options) * 5 + 1);
    for (const Option& option : options) {
        w.u8(option.token);
        w.u16be(offset);
        w.u16be(quint16(option.value.size()));
        offset += quint16(option.value.size());
    }
    w.u8(0xFF);
    for (const Option& option : options)
        w.raw(option.value);
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

void TdsConnection::runBatch(const QString& text, bool asProcedure, const std::function<void(ByteWriter&)>& outputs) {
    EncodingSink sink(*encoder_, asProcedure, batchWake_);
    CancelToken cancel;
    std::atomic<bool> finished{false};

    // The statement runs on its own thread so that this one can watch the socket for an
    // ATTENTION (the client's time-out or cancel) while it runs, and send what it flushes.
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
        batchWake_.raise();
    });

    // The wake signal answers as soon as the batch flushes or ends; the time-out only bounds how
    // late a stop of the whole server is noticed.
    bool attention = false;
    while (!finished) {
        if (stopping_) {
            cancel.cancel();
            closed_ = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        const bool readable = channel_.waitReadable(20, batchWake_.fd());
        batchWake_.clear();
        // Tokens flushed while the batch runs (progress messages) go out at once in packets
        // without EOM (MS-TDS 2.2.3.1.2): the response message stays open until the final DONE.
        if (const QByteArray ready = sink.takeReady();
            !ready.isEmpty() && !closed_ && !channel_.sendMessage(packetType::TabularResult, ready, false)) {
            cancel.cancel();
            closed_ = true;
        }
        if (readable && !finished && !closed_) {
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
    batchWake_.clear();
    if (closed_)
        return;
    // A cancelled batch still ends its response message at a token boundary (the engine stops
    // at one); the acknowledgement follows as a message of its own, which is what clients that
    // read one message per request (tedious) need, and what FreeTDS accepts: it discards
    // everything up to the DONE with DONE_ATTN (MS-TDS 2.2.1.7, 3.2.5.9).
    ByteWriter out;
    out.raw(sink.takeAll());
    if (asProcedure) {
        encoder_->returnStatus(ReturnStatus{sink.sawError ? -6 : 0}, out);
        if (outputs)
            outputs(out);
        encoder_->done(token::DoneProc, sink.sawError ? doneStatus::Error : 0, 0, 0, out);
    }
    send(out);
    if (attention && !closed_)
        answerAttention();
}

void TdsConnection::answerAttention() {
    ByteWriter out;
    encoder_->done(token::Done, doneStatus::Attention, 0, 0, out);
    send(out);
}

void TdsConnection::runRpc(const QByteArray& payload) {
    ByteReader r(payload, skipAllHeaders(payload));
    const quint16 nameLength = r.u16le();
    quint16 id = 0;
    QString procedure;
    if (nameLength == 0xFFFF) {
        id = r.u16le();
    } else {
        procedure = r.utf16(nameLength);
        id = procedureId(procedure);
    }
    r.u16le(); // option flags
    const std::vector<RpcParameter> parameters = readRpcParameters(r);
    auto parameter = [&parameters](size_t index) {
        return index < parameters.size() ? parameters[index] : RpcParameter{};
    };
    // The statement's own parameter values follow the procedure's fixed parameters.
    auto valuesFrom = [&parameters](size_t first) {
        return first < parameters.size()
                   ? std::vector<RpcParameter>(parameters.begin() + qsizetype(first), parameters.end())
                   : std::vector<RpcParameter>{};
    };
    // The handle goes back as an OUTPUT parameter in a RETURNVALUE token after the return status
    // (MS-TDS 2.2.7.18), under the name and ordinal the client gave it.
    auto handleOutput = [this, &parameters](qint32 handle) {
        const QString name = parameters.empty() ? QString() : parameters.front().name;
        return [this, name, handle](ByteWriter& out) { encoder_->returnValue(0, name, handle, out); };
    };

    switch (id) {
    case procId::ExecuteSql:
        runBatch(bindParameters(parameter(0).text(), parameter(1).text(), valuesFrom(2)), true);
        return;
    case procId::Prepare: {
        // Prepared, not run: the statement is checked when it is executed.
        const qint32 handle = nextHandle_++;
        prepared_[handle] = {parameter(2).text(), parameter(1).text()};
        ByteWriter out;
        encoder_->returnStatus(ReturnStatus{0}, out);
        handleOutput(handle)(out);
        encoder_->done(token::DoneProc, 0, 0, 0, out);
        send(out);
        return;
    }
    case procId::PrepExec: {
        const qint32 handle = nextHandle_++;
        prepared_[handle] = {parameter(2).text(), parameter(1).text()};
        runBatch(bindParameters(parameter(2).text(), parameter(1).text(), valuesFrom(3)), true, handleOutput(handle));
        return;
    }
    case procId::Execute:
    case procId::Unprepare: {
        const qint64 handle = parameter(0).integer().value_or(0);
        const auto found = prepared_.find(qint32(handle));
        if (found == prepared_.end()) {
            // State unconfirmed; the number and text are the server's.
            ByteWriter out;
            encoder_->message(
                protocolMessage(8179, 16, 2,
                                QStringLiteral("Could not find prepared statement with handle %1.").arg(handle)),
                out);
            encoder_->returnStatus(ReturnStatus{-6}, out);
            encoder_->done(token::DoneProc, doneStatus::Error, 0, 0, out);
            send(out);
            return;
        }
        if (id == procId::Execute) {
            runBatch(bindParameters(found->second.statement, found->second.declarations, valuesFrom(1)), true);
            return;
        }
        prepared_.erase(found);
        ByteWriter out;
        encoder_->returnStatus(ReturnStatus{0}, out);
        encoder_->done(token::DoneProc, 0, 0, 0, out);
        send(out);
        return;
    }
    default:
        break;
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
