#include "TADOConnection.h"

#include "EDatabaseError.h"
#include "OdbcConnection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

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

void TADOConnection::ExecuteLong(const QString& statement) {
    if (!Connected())
        throw EDatabaseError(QStringLiteral("Connection is closed"));
    cancelRequested_ = false;
    BusyScope busy(busyCount_, busyNotifier_);
    QEventLoop loop;
    std::exception_ptr failure;
    std::atomic<bool> finished{false};
    std::mutex endMutex;
    std::condition_variable ended;
    QPointer<QEventLoop> guard(&loop);

    // The driver call blocks; it runs on its own thread so that this (the window's) thread
    // keeps painting and ticking. The connection is used by that thread alone meanwhile.
    std::thread worker([&] {
        try {
            odbc_->run(statement, 0);
        } catch (...) {
            failure = std::current_exception();
        }
        {
            std::lock_guard lock(endMutex);
            finished = true;
        }
        ended.notify_one();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // The window needs a pass of its event loop once a frame, not once a statement: a statement
    // that ends within the frame (a BACKUP of a small database) is waited for without one, and
    // a run of many such statements still repaints and ticks at the frame rate.
    {
        std::unique_lock lock(endMutex);
        const qint64 sincePass = lastEventPass().isValid() ? lastEventPass().elapsed() : kFrameMs;
        ended.wait_for(lock, std::chrono::milliseconds(std::max<qint64>(0, kFrameMs - sincePass)),
                       [&] { return finished.load(); });
    }
    if (!finished || !lastEventPass().isValid() || lastEventPass().elapsed() >= kFrameMs) {
        do
            loop.exec();
        while (!finished);
        lastEventPass().start();
    }
    worker.join();
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
