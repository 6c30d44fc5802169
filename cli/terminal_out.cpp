#include "cli/terminal_out.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace {
constexpr auto kEndBound = std::chrono::seconds(5);
}  // namespace

struct TerminalOut::Shared {
    std::mutex lock;
    std::condition_variable wake, idle;
    std::deque<std::pair<Stream, std::string>> lines;
    std::size_t pendingBytes = 0;
    std::size_t dropped = 0;
    std::vector<std::string> frame;
    bool frameChanged = false;
    bool writing = false;
    bool stop = false;
    int drawn = 0;  // the board's lines on the terminal; the writer's alone

    bool quiet() const { return lines.empty() && !frameChanged && !writing; }

    void run() {
        std::unique_lock<std::mutex> guard(lock);
        while (true) {
            wake.wait(guard, [this] { return stop || !lines.empty() || frameChanged; });
            if (lines.empty() && !frameChanged) break;
            std::deque<std::pair<Stream, std::string>> batch;
            batch.swap(lines);
            pendingBytes = 0;
            const std::size_t lost = std::exchange(dropped, 0);
            const bool redraw = frameChanged || !batch.empty() || lost > 0;
            frameChanged = false;
            std::vector<std::string> board = frame;
            writing = true;
            guard.unlock();
            write(batch, lost, redraw ? &board : nullptr);
            guard.lock();
            writing = false;
            if (quiet()) idle.notify_all();
        }
        idle.notify_all();
    }

    // Runs on the writer's thread alone, outside the lock.
    void write(const std::deque<std::pair<Stream, std::string>>& batch, std::size_t lost,
               const std::vector<std::string>* board) {
        if (board != nullptr && drawn > 0) {
            std::fprintf(stderr, "\x1b[%dA\r\x1b[J", drawn);
            drawn = 0;
        }
        if (lost > 0)
            std::fprintf(stderr,
                         "vm612k: %zu lines were not shown: the terminal did not take them in time "
                         "(the audit log has every unit)\n",
                         lost);
        for (const auto& [stream, text] : batch) {
            std::FILE* file = stream == Stream::out ? stdout : stderr;
            std::fputs(text.c_str(), file);
            std::fputc('\n', file);
            // stdout before stderr's next line, as the order was given.
            std::fflush(file);
        }
        if (board != nullptr) {
            for (const std::string& text : *board) std::fprintf(stderr, "%s\n", text.c_str());
            drawn = static_cast<int>(board->size());
        }
        std::fflush(stdout);
        std::fflush(stderr);
    }
};

TerminalOut::TerminalOut() : shared_(std::make_shared<Shared>()) {
    std::thread([shared = shared_] { shared->run(); }).detach();
}

TerminalOut::~TerminalOut() {
    drain(kEndBound);
    std::lock_guard<std::mutex> guard(shared_->lock);
    shared_->stop = true;
    shared_->wake.notify_all();
}

void TerminalOut::line(Stream stream, std::string text) {
    std::lock_guard<std::mutex> guard(shared_->lock);
    if (shared_->pendingBytes + text.size() > kPendingBound) {
        ++shared_->dropped;
        return;
    }
    shared_->pendingBytes += text.size() + 1;
    shared_->lines.emplace_back(stream, std::move(text));
    shared_->wake.notify_one();
}

void TerminalOut::frame(std::vector<std::string> lines) {
    std::lock_guard<std::mutex> guard(shared_->lock);
    if (lines == shared_->frame) return;
    shared_->frame = std::move(lines);
    shared_->frameChanged = true;
    shared_->wake.notify_one();
}

bool TerminalOut::drain(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> guard(shared_->lock);
    return shared_->idle.wait_for(guard, bound, [this] { return shared_->quiet(); });
}
