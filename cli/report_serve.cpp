#include "cli/report_serve.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

#include "cli/report_line.h"
#include "cli/report_output.h"
#include "platform/interrupt_watch.h"
#include "platform/local_time.h"
#include "serial/unit_records.h"
#include "web/http_server.h"
#include "web/pages.h"

namespace {

constexpr auto kFreshFor = std::chrono::seconds(1);
constexpr const char* kJson = "application/json; charset=utf-8";

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The line as /api/line gives it, read from the store at most once a
// second: every viewer in that second gets the same answer, and one who
// asks while it is being read waits for it rather than reading again.
class LineFeed {
public:
    explicit LineFeed(std::string url) : url_(std::move(url)), shown_(shownStoreUrl(url_)) {}

    vmweb::HttpReply reply() {
        std::lock_guard lock(mutex_);
        const auto now = std::chrono::steady_clock::now();
        if (!last_ || now - readAt_ >= kFreshFor) {
            last_ = read();
            readAt_ = std::chrono::steady_clock::now();
        }
        return *last_;
    }

private:
    vmweb::HttpReply read() {
        LineView view{shown_, nowMs(), 0};
        view.dayStartMs = platform::localDayStartMs(view.nowMs);
        try {
            return {200, kJson, lineJson(view, stations(view.dayStartMs))};
        } catch (const vmserial::StoreError& e) {
            store_.reset();  // connected again at the next reading
            return {503, kJson, lineErrorJson(view, vmserial::withoutStoreSecrets(e.what(), url_))};
        }
    }

    // A store kept open that fails (its SQLite file removed or replaced, its
    // server's connection lost) is opened again at once: the page shows what
    // the path or server holds now, or why it can't.
    std::vector<vmserial::StationLine> stations(std::int64_t dayStartMs) {
        if (store_) {
            try {
                return store_->line(dayStartMs);
            } catch (const vmserial::StoreError&) {
                store_.reset();
            }
        }
        store_ = open();
        opened_ = true;
        return store_->line(dayStartMs);
    }

    std::unique_ptr<vmserial::RecordStore> open() const {
        // The page reads: it makes no SQLite file where there is none.
        if (url_.starts_with("sqlite:") && !std::filesystem::exists(url_.substr(7)))
            throw vmserial::StoreError(vmserial::StoreError::Kind::unreachable,
                                       "the store " + url_.substr(7) +
                                           (opened_ ? " is gone: it was removed or moved away since it was read"
                                                    : " does not exist yet: no unit has been recorded there"));
        vmserial::StoreOptions options;
        options.busyTimeoutMs = 2000;  // a viewer waits a little, never a station
        options.connectTimeoutSeconds = 3;
        options.readOnly = true;
        return vmserial::openRecordStore(url_, options);
    }

    const std::string url_, shown_;
    std::mutex mutex_;  // one reading at a time; the store is used under it alone
    std::unique_ptr<vmserial::RecordStore> store_;
    bool opened_ = false;  // the store has been read once
    std::optional<vmweb::HttpReply> last_;
    std::chrono::steady_clock::time_point readAt_;
};

std::string urlOf(const vmweb::ListenAddress& address, int port) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(port) + "/";
}

}  // namespace

int serveLine(const std::string& storeUrl, const std::string& addressText) {
    vmweb::ListenAddress address;
    std::string error;
    if (!vmweb::parseListenAddress(addressText, &address, &error)) {
        std::fprintf(stderr, "vm612k: --serve: %s\n", error.c_str());
        return 2;
    }
    // The signals are the watch's before the server's threads start.
    std::mutex stopLock;
    std::condition_variable stopped;
    bool stop = false;
    platform::InterruptWatch watch([&](int, int) {
        std::lock_guard lock(stopLock);
        stop = true;
        stopped.notify_all();
    });
    LineFeed feed(storeUrl);
    vmweb::HttpServer server;
    server.get("/", [] { return vmweb::HttpReply{200, "text/html; charset=utf-8", vmweb::linePageHtml()}; });
    server.get("/api/line", [&feed] { return feed.reply(); });
    if (!server.start(address, &error)) {
        std::fprintf(stderr, "vm612k: --serve: %s\n", error.c_str());
        return 2;
    }
    std::fprintf(stderr, "listening on %s\n", urlOf(address, server.port()).c_str());
    std::fflush(stderr);
    {
        std::unique_lock lock(stopLock);
        stopped.wait(lock, [&] { return stop; });
    }
    server.stop();
    return 0;
}
