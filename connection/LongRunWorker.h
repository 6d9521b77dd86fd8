#pragma once
// The one thread that runs a connection's long statements, one job at a time, for as long as
// the connection lives. Starting and joining a thread for every statement cost a run of many
// small BACKUPs more than the statements themselves.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class LongRunWorker {
public:
    LongRunWorker();
    // Finishes the jobs already posted, then joins.
    ~LongRunWorker();
    LongRunWorker(const LongRunWorker&) = delete;
    LongRunWorker& operator=(const LongRunWorker&) = delete;

    // Runs job on the worker thread after the jobs posted before it. The job must not throw: it
    // hands its outcome back itself.
    void post(std::function<void()> job);

private:
    void serve();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_; // last: starts once the members above exist
};
