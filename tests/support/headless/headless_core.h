// The headless host's window thread and its state: the controls, the log,
// the progress bar, the timers and the queue of requests from workers. Only
// the host's own files include this.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "app/window_request.h"
#include "tests/support/headless/headless_host.h"

namespace headless {

// A request waiting for the window thread.
struct Task {
    const std::function<void()>* fn = nullptr;
    enum State { Pending, Running, Done, Dropped } state = Pending;
};

struct Control {
    std::string text;
    bool enabled = true;
    std::vector<std::string> items;
    int selection = -1;
};

struct Timer {
    std::chrono::milliseconds period{0};
    HeadlessHost::Clock::time_point next;
};

// How long a request may wait for a window thread that does not answer.
constexpr auto kRequestBound = std::chrono::seconds(120);
// How long the host waits for workers when it goes away.
constexpr auto kWorkerBound = std::chrono::seconds(600);

}  // namespace headless

struct HeadlessHost::Core {
    using Task = headless::Task;
    using Control = headless::Control;
    using Timer = headless::Timer;

    mutable std::mutex m;
    std::condition_variable wake;      // the window thread: tasks, timers, stop
    std::condition_variable finished;  // callers: a task finished or dropped
    std::condition_variable workersDone;
    std::deque<std::shared_ptr<Task>> queue;
    std::thread::id windowThreadId;
    bool ended = false;
    bool stopping = false;
    int endCode = -1;
    int liveWorkers = 0;

    std::map<int, Control> controls;
    std::map<int, bool> menu;
    std::vector<std::string> log;
    std::vector<std::string> history;
    int topIndex = 0;
    int progressLow = 0, progressHigh = 100, progressPos = 0;
    std::vector<int> progressHistory;
    std::vector<MessageBoxRecord> boxes;
    std::map<int, Timer> timers;
    int aboutRuns = 0;
    std::vector<OneKeyChoice> oneKeyShown;
    std::vector<FileDialogParams> fileDialogs;

    WindowEvents* events = nullptr;
    std::vector<WorkerOutcome> outcomes;
    FileAnswer openAnswer, saveAnswer;
    OneKeyAnswer oneKeyAnswer;
    std::function<void(const MessageBoxRecord&)> boxObserver;
    std::function<void(const std::string&)> logObserver;
    std::function<void(int)> progressObserver;
    std::function<void(WorkerStep)> stepObserver;

    bool onWindowThread() const { return std::this_thread::get_id() == windowThreadId; }

    void dropPending() {
        for (auto& task : queue) task->state = Task::Dropped;
        queue.clear();
        finished.notify_all();
    }

    void loop() {
        std::unique_lock<std::mutex> lock(m);
        while (!stopping) {
            auto now = Clock::now();
            // Timers first, in id order, when due.
            int dueId = 0;
            bool due = false;
            Clock::time_point earliest = Clock::time_point::max();
            for (auto& [id, timer] : timers) {
                if (timer.next <= now && !due) {
                    due = true;
                    dueId = id;
                    timer.next = now + timer.period;
                }
                earliest = std::min(earliest, timer.next);
            }
            if (due && !ended && events) {
                WindowEvents* handler = events;
                lock.unlock();
                handler->onTimer(dueId);
                lock.lock();
                continue;
            }
            if (!queue.empty()) {
                auto task = queue.front();
                queue.pop_front();
                task->state = Task::Running;
                lock.unlock();
                (*task->fn)();
                lock.lock();
                task->state = Task::Done;
                finished.notify_all();
                continue;
            }
            if (earliest == Clock::time_point::max() || ended) {
                wake.wait(lock);
            } else {
                wake.wait_until(lock, earliest);
            }
        }
        dropPending();
    }

    bool run(const std::function<void()>& fn) {
        if (onWindowThread()) {
            fn();
            return true;
        }
        std::unique_lock<std::mutex> lock(m);
        if (ended || stopping) return false;
        auto task = std::make_shared<Task>();
        task->fn = &fn;
        queue.push_back(task);
        wake.notify_all();
        const auto taken = [&] { return task->state != Task::Pending; };
        if (!finished.wait_for(lock, headless::kRequestBound, taken)) {
            // The window does not answer: take the request back.
            queue.erase(std::remove(queue.begin(), queue.end(), task), queue.end());
            return false;
        }
        // A running request uses the caller's data: wait for its end, within
        // one bound in all; a window's thread that holds it longer has hung.
        const auto ended = [&] { return task->state != Task::Running; };
        if (!finished.wait_for(lock, kRequestRunBound, ended)) {
            std::fprintf(stderr, "headless host: a request has run on the window's thread for %lld s\n",
                         static_cast<long long>(kRequestRunBound.count()));
            std::abort();
        }
        return task->state == Task::Done;
    }
};
