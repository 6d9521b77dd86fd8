#include "TADOConnection.h"

#include "EDatabaseError.h"
#include "OdbcConnection.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>

#include <atomic>
#include <exception>
#include <thread>

namespace {

std::atomic<int>& busyCount() {
    static std::atomic<int> count{0};
    return count;
}

// Marks the program busy for the scope: windows refuse to close, the pointer shows it.
class BusyScope {
public:
    BusyScope() {
        ++busyCount();
        if (qobject_cast<QApplication*>(QCoreApplication::instance()))
            QApplication::setOverrideCursor(Qt::BusyCursor);
    }
    ~BusyScope() {
        if (qobject_cast<QApplication*>(QCoreApplication::instance()))
            QApplication::restoreOverrideCursor();
        --busyCount();
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
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
    BusyScope busy;
    QEventLoop loop;
    std::exception_ptr failure;
    std::atomic<bool> finished{false};
    QPointer<QEventLoop> guard(&loop);

    // The driver call blocks; it runs on its own thread so that this (the window's) thread
    // keeps painting and ticking. The connection is used by that thread alone meanwhile.
    std::thread worker([&] {
        try {
            odbc_->run(statement, 0);
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    while (!finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

bool TADOConnection::isBusy() { return busyCount() > 0; }

OdbcConnection& TADOConnection::odbc() { return *odbc_; }
