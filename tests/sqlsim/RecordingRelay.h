#pragma once
// A TCP relay on 127.0.0.1 that keeps a copy of every byte it forwards, per direction, so that
// a test can read what a client and the server put on the wire.

#include <QByteArray>

#include <atomic>
#include <mutex>
#include <thread>

class RecordingRelay {
public:
    explicit RecordingRelay(quint16 targetPort);
    ~RecordingRelay();
    RecordingRelay(const RecordingRelay&) = delete;
    RecordingRelay& operator=(const RecordingRelay&) = delete;

    quint16 port() const { return port_; }
    // Everything relayed so far, every connection one after the other.
    QByteArray fromClient() const;
    QByteArray fromServer() const;

private:
    void run();
    void relay(int client);

    quint16 targetPort_;
    quint16 port_ = 0;
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    QByteArray fromClient_;
    QByteArray fromServer_;
    std::thread thread_;
};
