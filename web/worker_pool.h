// The server's workers: a fixed number of threads and a bounded queue of
// connections waiting for one. A connection over the bound is not queued:
// it is handed back at once, on the accepting thread, marked as refused, so
// that it is closed rather than left waiting without end.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <httplib.h>

namespace vmweb {

class WorkerPool : public httplib::TaskQueue {
public:
    // `pressed` is called (outside the pool's lock) when a connection is
    // queued while every worker is busy.
    WorkerPool(std::size_t workers, std::size_t queued, std::function<void()> pressed);
    ~WorkerPool() override;
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void enqueue(std::function<void()> fn) override;
    void shutdown() override;

    // True on the thread running a connection the pool refused.
    static bool refusing();

private:
    void work();

    std::size_t maxQueued_;
    std::function<void()> pressed_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    std::size_t busy_ = 0;
    bool shuttingDown_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace vmweb
