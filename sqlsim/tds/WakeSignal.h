#pragma once
// A file descriptor that a worker thread makes readable to wake a thread waiting in poll, so the
// waiter need not poll on a timer to notice that the work has ended. Linux eventfd.

namespace sqlsim::tds {

class WakeSignal {
public:
    WakeSignal(); // throws std::runtime_error when the descriptor cannot be made
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    int fd() const { return fd_; }
    void raise(); // any thread
    void clear(); // the waiting thread, once it has seen the signal

private:
    int fd_;
};

} // namespace sqlsim::tds
