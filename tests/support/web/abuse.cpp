#include "tests/support/web/abuse.h"

#include <memory>

#include "tests/support/web/raw_client.h"

namespace webtest {

namespace {

struct BadRequest {
    std::string bytes;
    int status;
};

std::vector<BadRequest> badRequestSet() {
    std::string manyHeaders;
    for (int i = 0; i < 100; ++i) {
        manyHeaders += "X-" + std::to_string(i) + ": v\r\n";
    }
    return {
        {"GET / HTTP/1.1\r\nX-Big: " + std::string(64 << 10, 'a') + "\r\n\r\n", 431},
        {"GET /" + std::string(16 << 10, 'p') + " HTTP/1.1\r\n\r\n", 431},
        {"GET /metrics HTTP/1.1\r\n" + manyHeaders + "\r\n", 431},
        {"POST /api/status HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", 405},
        {"PUT /metrics HTTP/1.1\r\nContent-Length: 0\r\n\r\n", 405},
        {"DELETE / HTTP/1.1\r\n\r\n", 405},
        {"OPTIONS * HTTP/1.1\r\n\r\n", 405},
        {"BREW /pot HTTP/1.1\r\n\r\n", 405},
        {"GET /../../etc/passwd HTTP/1.1\r\n\r\n", 404},
        {"GET /nothing/here HTTP/1.1\r\n\r\n", 404},
        {"GET /api/status HTTP/1.1\r\nHost: rebound.example:8080\r\n\r\n", 421},
        {std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11) + "\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 400},
    };
}

}  // namespace

Abuse::Abuse(int port, unsigned idleConnections) : port_(port), idleConnections_(idleConnections) {
    threads_.emplace_back([this] { badRequests(tallies_[0]); });
    threads_.emplace_back([this] { idleCrowd(tallies_[1]); });
    threads_.emplace_back([this] { slowReader("/", tallies_[2]); });
    threads_.emplace_back([this] { slowReader("/metrics", tallies_[3]); });
}

Abuse::~Abuse() { stop(); }

AbuseTally Abuse::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopped_.notify_all();
    for (std::thread& t : threads_) {
        if (t.joinable()) {
            t.join();
        }
    }
    AbuseTally all;
    for (const AbuseTally& t : tallies_) {
        all.requests += t.requests;
        all.refused += t.refused;
        all.shed += t.shed;
        all.served += t.served;
        all.idleOpened += t.idleOpened;
        all.slowBytes += t.slowBytes;
        all.slowDropped += t.slowDropped;
        all.wrong.insert(all.wrong.end(), t.wrong.begin(), t.wrong.end());
    }
    return all;
}

bool Abuse::pause(int ms) {
    std::unique_lock lock(mutex_);
    return !stopped_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_.load(); });
}

void Abuse::badRequests(AbuseTally& tally) {
    const std::vector<BadRequest> set = badRequestSet();
    while (!stopping_) {
        for (const BadRequest& bad : set) {
            RawClient client(port_);
            ++tally.requests;
            std::string reply = client.send(bad.bytes) ? client.readReply(milliseconds(10000)).value_or("") : "";
            int status = statusOf(reply);
            if (status == bad.status) {
                ++tally.refused;
            } else if (status == 0 || status == 503) {
                ++tally.shed;
            } else if (tally.wrong.size() < 8) {
                tally.wrong.push_back(bad.bytes.substr(0, 40) + " -> " + reply.substr(0, 40));
            }
        }
        std::string plain = get(port_, "/api/status");
        tally.served += statusOf(plain) == 200 ? 1 : 0;
    }
}

void Abuse::idleCrowd(AbuseTally& tally) {
    std::vector<std::unique_ptr<RawClient>> crowd;
    while (!stopping_) {
        for (auto& client : crowd) {
            if (client->closedWithin(milliseconds(0))) {
                client.reset();
            }
        }
        std::erase(crowd, nullptr);
        while (crowd.size() < idleConnections_) {
            crowd.push_back(std::make_unique<RawClient>(port_));
            ++tally.idleOpened;
        }
        pause(100);
    }
}

void Abuse::slowReader(const std::string& path, AbuseTally& tally) {
    while (!stopping_) {
        RawClient client(port_, 4096);
        if (!client.send("GET " + path + " HTTP/1.1\r\nHost: localhost\r\n\r\n")) {
            pause(100);
            continue;
        }
        for (;;) {
            int byte = client.readByte(milliseconds(1000));
            if (byte == -1) {
                ++tally.slowDropped;
                break;
            }
            tally.slowBytes += byte >= 0 ? 1 : 0;
            if (!pause(1000)) {
                return;
            }
        }
    }
}

}  // namespace webtest
