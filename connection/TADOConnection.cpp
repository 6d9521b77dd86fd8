#include "TADOConnection.h"

#include "EDatabaseError.h"
#include "LongRunWorker.h"
#include "OdbcConnection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <memory>
#include <vector>

namespace {

constexpr qint64 kFrameMs = 16;

// When ExecuteLong last let the window's event loop run (the window's thread only).
QElapsedTimer& lastEventPass() {
    static QElapsedTimer timer;
    return timer;
}

// Marks the connection busy for the scope and tells the window, which shows the busy pointer.
class BusyScope {
public:
    BusyScope(std::atomic<int>& count, const std::function<void(bool)>& notify) : count_(count), notify_(notify) {
        if (++count_ == 1 && notify_)
            notify_(true);
    }
    ~BusyScope() {
        if (--count_ == 0 && notify_)
            notify_(false);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    std::atomic<int>& count_;
    const std::function<void(bool)>& notify_;
};

} // namespace

TADOConnection::TADOConnection(QObject* owner) : QObject(owner), odbc_(std::make_unique<OdbcConnection>()) {}

TADOConnection::~TADOConnection() { Close(); }

QString TADOConnection::ConnectionString() const { return connectionString_; }

void TADOConnection::setConnectionString(const QString& connectionString) { connectionString_ = connectionString; }

int TADOConnection::ConnectionTimeout() const { return connectionTimeout_; }

void TADOConnection::setConnectionTimeout(int seconds) { connectionTimeout_ = seconds; }

int TADOConnection::CommandTimeout() const { return commandTimeout_; }

void TADOConnection::setCommandTimeoutForTesting(int seconds) { commandTimeout_ = seconds; }

void TADOConnection::Open() { odbc_->connect(connectionString_, connectionTimeout_); }

void TADOConnection::Close() { odbc_->disconnect(); }

bool TADOConnection::Connected() const { return odbc_->connected(); }

void TADOConnection::Execute(const QString& statement) { odbc_->run(statement, commandTimeout_); }

namespace {

// What a long statement and the window's thread share. Held by both sides, so the worker may
// finish touching it after ExecuteLong has returned.
struct LongRun {
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    std::exception_ptr failure;
    std::vector<ServerMessage> pending; // read by the worker, not yet told on the window's thread
    QEventLoop* loop = nullptr;         // while ExecuteLong waits in it; events go to it
};

// Tells the window's thread what the worker has read so far.
void deliver(LongRun& run, const TADOConnection::MessageHandler& onMessage) {
    std::vector<ServerMessage> messages;
    {
        std::lock_guard lock(run.mutex);
        messages.swap(run.pending);
    }
    for (const ServerMessage& m : messages)
        onMessage(m);
}

} // namespace

void TADOConnection::ExecuteLong(const QString& statement, const MessageHandler& onMessage) {
    if (!Connected())
        throw EDatabaseError(QStringLiteral("Connection is closed"));
    cancelRequested_ = false;
    BusyScope busy(busyCount_, busyNotifier_);
    if (!worker_)
        worker_ = std::make_unique<LongRunWorker>();
    QEventLoop loop;
    auto run = std::make_shared<LongRun>();
    run->loop = &loop;

    OdbcConnection::InfoHandler onInfo;
    if (onMessage) {
        onInfo = [run, &onMessage](const OdbcDiagnostic& d) {
            std::lock_guard lock(run->mutex);
            run->pending.push_back({d.nativeError, d.message});
            // One delivery per batch of messages; it drains what has come by then.
            if (run->pending.size() == 1 && run->loop)
                QMetaObject::invokeMethod(
                    run->loop, [run, &onMessage] { deliver(*run, onMessage); }, Qt::QueuedConnection);
        };
    }
    // The driver call blocks; it runs on the worker so that this (the window's) thread keeps
    // painting and ticking. The connection is used by the worker alone meanwhile.
    worker_->post([this, run, statement, onInfo] {
        std::exception_ptr failure;
        try {
            odbc_->run(statement, 0, onInfo);
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(run->mutex);
        run->failure = failure;
        run->finished = true;
        if (run->loop)
            QMetaObject::invokeMethod(run->loop, &QEventLoop::quit, Qt::QueuedConnection);
        run->ended.notify_one();
    });
    // The window needs a pass of its event loop once a frame, not once a statement: a statement
    // that ends within the frame (a BACKUP of a small database) is waited for without one, and
    // a run of many such statements still repaints and ticks at the frame rate.
    bool finished = false;
    {
        std::unique_lock lock(run->mutex);
        const qint64 sincePass = lastEventPass().isValid() ? lastEventPass().elapsed() : kFrameMs;
        finished = run->ended.wait_for(lock, std::chrono::milliseconds(std::max<qint64>(0, kFrameMs - sincePass)),
                                       [&] { return run->finished; });
    }
    if (!finished || !lastEventPass().isValid() || lastEventPass().elapsed() >= kFrameMs) {
        for (;;) {
            loop.exec();
            std::lock_guard lock(run->mutex);
            if (run->finished)
                break;
        }
        lastEventPass().start();
    }
    std::exception_ptr failure;
    {
        std::lock_guard lock(run->mutex);
        run->loop = nullptr; // the worker posts nothing more to it
        failure = run->failure;
    }
    if (onMessage)
        deliver(*run, onMessage);
    if (!failure)
        return;
    if (cancelRequested_) {
        try {
            std::rethrow_exception(failure);
        } catch (const EDatabaseError& e) {
            // The driver reports HY008, the server may add its own "terminated" errors first:
            // either way the batch ended because it was asked to.
            throw EOperationCancelled(e.message(), e.sqlState(), e.nativeError());
        }
    }
    std::rethrow_exception(failure);
}

bool TADOConnection::cancelLong() {
    if (!busy())
        return false;
    cancelRequested_ = true;
    return odbc_->cancel();
}

bool TADOConnection::busy() const { return busyCount_ > 0; }

void TADOConnection::setBusyNotifier(std::function<void(bool)> notify) { busyNotifier_ = std::move(notify); }

OdbcConnection& TADOConnection::odbc() { return *odbc_; }
