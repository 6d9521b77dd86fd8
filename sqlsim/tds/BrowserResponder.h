#pragma once
// Answers the SQL Server Browser protocol (SSRP) on a UDP port of 127.0.0.1 for one named
// instance, so that "host\instance" names and discovery find the simulator.

#include <QByteArray>
#include <QString>

#include <atomic>
#include <thread>

namespace sqlsim::tds {

class BrowserResponder {
public:
    BrowserResponder(QString serverName, QString instanceName, quint16 tcpPort);
    ~BrowserResponder();
    BrowserResponder(const BrowserResponder&) = delete;
    BrowserResponder& operator=(const BrowserResponder&) = delete;

    // Binds 127.0.0.1:port (0 picks one); returns the port. Throws std::runtime_error.
    quint16 start(quint16 port);
    void stop();

    // The answer to one request datagram; empty when the request gets no answer.
    QByteArray answer(const QByteArray& request) const;

private:
    QByteArray instanceRecord() const;
    void loop();

    QString serverName_;
    QString instanceName_;
    quint16 tcpPort_;
    int fd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace sqlsim::tds
