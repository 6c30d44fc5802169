// The server's workers: a fixed number of threads and a bounded queue of
// connections waiting for one. Over the bound the connection that has been
// queued longest is not kept waiting without end: it is run at once, on the
// accepting thread, marked as refused, and so closed. (A flood of idle
// connections then pushes out its own oldest, not the client that came last.)
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
    // `pressed` hears, each time a connection is queued or taken, how many
    // queued ones no worker is free for (0: none).
    WorkerPool(std::size_t workers, std::size_t queued, std::function<void(std::size_t)> pressed);
    ~WorkerPool() override;
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void enqueue(std::function<void()> fn) override;
    void shutdown() override;

    // True on the thread running a connection the pool refused.
    static bool refusing();

private:
    void work();
    std::size_t excess() const;  // under the lock

    std::size_t maxQueued_;
    std::function<void(std::size_t)> pressed_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    std::size_t busy_ = 0;
    bool shuttingDown_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace vmweb
