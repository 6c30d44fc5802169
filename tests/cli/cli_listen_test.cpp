// `vm612k station --listen`: the live views of a station on the emulator,
// read over HTTP while it runs and held against its audit records; and the
// units' pace with a hostile crowd at the door.
#include "tests/cli/cli_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <map>
#include <nlohmann/json.hpp>

#include "tests/support/web/abuse.h"
#include "tests/support/web/raw_client.h"

namespace {

using nlohmann::json;
using std::chrono::milliseconds;

// vm612k in the background, its stdout to a file and its stderr on a pipe
// that the test reads with bounded waits.
class StationProcess {
public:
    StationProcess(const fs::path& dir, const std::vector<std::string>& args) {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            const int out = ::open((dir / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, 1);
            ::dup2(pipeFds[1], 2);
            ::close(pipeFds[0]);
            if (::chdir(dir.c_str()) != 0) ::_exit(127);
            ::unsetenv("VM612K_SIM");
            std::vector<char*> argv{const_cast<char*>(VM612K_CLI_PATH)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(VM612K_CLI_PATH, argv.data());
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        err_fd_ = pipeFds[0];
    }
    ~StationProcess() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (err_fd_ >= 0) ::close(err_fd_);
    }
    StationProcess(const StationProcess&) = delete;
    StationProcess& operator=(const StationProcess&) = delete;

    // The port of the "listening on http://HOST:PORT/" line; 0 when none came within `bound`.
    int waitForPort(milliseconds bound = milliseconds(60000)) {
        const auto end = std::chrono::steady_clock::now() + bound;
        std::smatch match;
        const std::regex line("listening on http://[^ ]*:([0-9]+)/\n");
        while (!std::regex_search(err_, match, line)) {
            if (std::chrono::steady_clock::now() > end || !readSome(milliseconds(200))) return 0;
        }
        return std::stoi(match[1]);
    }
    // Waits up to `bound` for stderr: the pause between two looks at the station.
    void pause(milliseconds bound) { readSome(bound); }
    void interrupt() { ::kill(pid_, SIGINT); }
    // Its exit status once stderr has ended; -1 (and killed) past `bound`.
    int finish(milliseconds bound = milliseconds(180000)) {
        const auto end = std::chrono::steady_clock::now() + bound;
        while (readSome(milliseconds(200))) {
            if (std::chrono::steady_clock::now() > end) {
                ADD_FAILURE() << "vm612k ran past its bound";
                return -1;
            }
        }
        int raw = 0;
        ::waitpid(pid_, &raw, 0);
        reaped_ = true;
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    }
    const std::string& err() const { return err_; }

private:
    // False at the end of stderr.
    bool readSome(milliseconds bound) {
        pollfd p{err_fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(bound.count())) <= 0) return true;
        char buffer[4096];
        const ssize_t n = ::read(err_fd_, buffer, sizeof buffer);
        if (n <= 0) return false;
        err_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int err_fd_ = -1;
    bool reaped_ = false;
    std::string err_;
};

std::vector<json> auditRecords(const fs::path& log) {
    std::vector<json> records;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) records.push_back(json::parse(line));
    return records;
}

// The value of one sample of the text format, or -1.
double sample(const std::string& text, const std::string& series) {
    const std::size_t at = text.find("\n" + series + " ");
    return at == std::string::npos ? -1 : std::stod(text.substr(at + series.size() + 2));
}

// The station's board once `units` units have ended, looking a few times a
// second for at most a minute; null when they did not.
json boardAfter(StationProcess& station, int port, unsigned units) {
    for (int i = 0; i < 600; ++i) {
        const std::string reply = webtest::get(port, "/api/status");
        if (webtest::statusOf(reply) == 200) {
            json board = json::parse(webtest::bodyOf(reply));
            if (board["totals"]["units"] == units) return board;
        }
        station.pause(milliseconds(100));
    }
    return nullptr;
}

double meanSeconds(const std::vector<json>& records) {
    double sum = 0;
    for (const json& r : records) sum += r["seconds"].get<double>();
    return records.empty() ? 0 : sum / static_cast<double>(records.size());
}

}  // namespace

TEST_F(CliTest, StationListenAddressIsCheckedBeforeAnythingStarts) {
    image("img.bin", 32768);
    for (const char* bad : {"99999", "host:", "[::1]", "::1:80", "eighty", "127.0.0.1:80x"}) {
        const CliRun ran = run(sim() + " -s 256Kbit station img.bin --listen '" + std::string(bad) + "'");
        EXPECT_EQ(ran.status, 2) << bad;
        EXPECT_EQ(ran.err.rfind("vm612k: --listen: ", 0), 0u) << ran.err;
    }
    // An address another program holds: a clear error, and no unit starts.
    const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(::listen(holder, 1), 0);
    ASSERT_EQ(::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const std::string port = std::to_string(ntohs(address.sin_port));
    const CliRun held = run(sim() + " -s 256Kbit station img.bin --log audit.log --listen " + port);
    ::close(holder);
    EXPECT_EQ(held.status, 2);
    EXPECT_NE(held.err.find("can't listen on 127.0.0.1:" + port + ": Address already in use"), std::string::npos)
        << held.err;
    EXPECT_EQ(slurp(dir_ / "audit.log"), "");

    const CliRun help = run("station --help");
    EXPECT_NE(joinedForTest(help.out).find("--listen"), std::string::npos);
}

TEST_F(CliTest, StationServesItsBoardAndMetricsTrueToItsRecords) {
    image("img.bin", 32768);
    // Four modules seated, one unit each; two of them fail on a bad page sum.
    StationProcess station(dir_, {"-q", "--sim=programmers=4,erase_ms=0,size=256Kbit,badsum=2@1,badsum=2@3",
                                  "-s", "256Kbit", "station", "img.bin", "--listen", "0", "--log", "audit.log",
                                  "--station-name", "line-1"});
    const int port = station.waitForPort();
    ASSERT_GT(port, 0) << station.err();
    const json board = boardAfter(station, port, 4);
    ASSERT_FALSE(board.is_null()) << station.err();
    const std::string metricsReply = webtest::get(port, "/metrics");
    const std::string page = webtest::get(port, "/");
    // A page of another site whose name was made to point here reads nothing.
    const std::string rebound = webtest::roundTrip(port, "GET /api/status HTTP/1.1\r\nHost: rebound.example\r\n\r\n");
    station.interrupt();
    EXPECT_EQ(station.finish(), 130) << station.err();
    EXPECT_FALSE(webtest::RawClient(port).connected());  // stopped with the station

    const std::vector<json> records = auditRecords(dir_ / "audit.log");
    ASSERT_EQ(records.size(), 4u);
    std::map<std::string, unsigned> units, passed;
    unsigned firstUnits = 0, firstPassed = 0;
    for (const json& r : records) {
        const std::string p = std::to_string(r["programmer"].get<unsigned>());
        units[p] += 1;
        passed[p] += r["result"] == "pass" ? 1 : 0;
        firstUnits += r["first_unit"] == true ? 1 : 0;
        firstPassed += r["first_unit"] == true && r["result"] == "pass" ? 1 : 0;
        EXPECT_EQ(r["run"], board["run"]);
    }
    ASSERT_GT(firstUnits, 0u);
    EXPECT_EQ(passed["1"] + passed["3"], 0u);

    const std::string metrics = webtest::bodyOf(metricsReply);
    std::ofstream(dir_ / "metrics.txt") << metrics;
    const CliRun lint = shell("promtool check metrics < metrics.txt");
    EXPECT_EQ(lint.status, 0) << joinedForTest(lint.out) << lint.err;
    for (const auto& [p, count] : units) {
        const std::string series = "vm612k_units_total{programmer=\"" + p + "\",result=";
        EXPECT_EQ(sample(metrics, series + "\"pass\"}"), passed[p]) << p;
        EXPECT_EQ(sample(metrics, series + "\"fail\"}"), count - passed[p]) << p;
    }
    EXPECT_EQ(sample(metrics, "vm612k_unit_seconds_count"), 4);
    EXPECT_EQ(sample(metrics, "vm612k_programmers_present"), 4);
    EXPECT_EQ(sample(metrics, "vm612k_modules_seated"), 4);
    EXPECT_EQ(metrics.find("vm612k_serial_numbers_left"), std::string::npos);
    const std::string info = "vm612k_run_info{job=\"\",run=\"" + board["run"].get<std::string>() + "\",station=\"line-1\"}";
    EXPECT_EQ(sample(metrics, info), 1) << metrics;

    EXPECT_EQ(board["station"], "line-1");
    EXPECT_EQ(board["state"], "running");
    EXPECT_EQ(board["image"], "img.bin");
    EXPECT_EQ(board["totals"]["passed"], 2);
    EXPECT_EQ(board["totals"]["failed"], 2);
    EXPECT_DOUBLE_EQ(board["totals"]["yield"].get<double>(), 0.5);
    EXPECT_NEAR(board["totals"]["first_pass_yield"].get<double>(), double(firstPassed) / firstUnits, 1e-4);
    ASSERT_EQ(board["programmers"].size(), 4u);
    for (const json& p : board["programmers"]) {
        const std::string number = std::to_string(p["programmer"].get<unsigned>());
        EXPECT_EQ(p["units"], units[number]);
        EXPECT_EQ(p["passed"], passed[number]);
        EXPECT_EQ(p["state"], passed[number] == 1 ? "passed" : "failed");
        EXPECT_EQ(p["last"]["result"], passed[number] == 1 ? "pass" : "fail");
    }
    EXPECT_EQ(webtest::statusOf(page), 200);
    EXPECT_EQ(webtest::statusOf(rebound), 421) << rebound;
    EXPECT_EQ(webtest::headerOf(page, "Content-Type"), "text/html; charset=utf-8");
}

TEST_F(CliTest, StationUnitsKeepTheirPaceWithAHostileCrowdAtItsPort) {
    image("img.bin", 32768);
    double means[2] = {0, 0};
    for (int abused = 0; abused < 2; ++abused) {
        fs::remove(dir_ / "audit.log");
        StationProcess station(dir_, {"-q", "--sim=programmers=2,erase_ms=0,size=256Kbit,swap_ms=1,latency_us=100",
                                      "-s", "256Kbit", "station", "img.bin", "--count", "30", "--listen", "0",
                                      "--log", "audit.log"});
        const int port = station.waitForPort();
        ASSERT_GT(port, 0) << station.err();
        std::unique_ptr<webtest::Abuse> abuse;
        if (abused == 1) abuse = std::make_unique<webtest::Abuse>(port);
        EXPECT_EQ(station.finish(), 0) << station.err();
        if (abuse) {
            const webtest::AbuseTally tally = abuse->stop();
            EXPECT_TRUE(tally.wrong.empty()) << tally.wrong.front();
            EXPECT_GT(tally.requests, 0u);
            std::printf("abuse: %u bad requests (%u refused as they should be, %u shed), %u idle connections, "
                        "%u plain GETs served, %u bytes to slow readers\n",
                        tally.requests, tally.refused, tally.shed, tally.idleOpened, tally.served, tally.slowBytes);
        }
        const std::vector<json> records = auditRecords(dir_ / "audit.log");
        ASSERT_EQ(records.size(), 30u);
        for (const json& r : records) EXPECT_EQ(r["result"], "pass") << r.dump();
        means[abused] = meanSeconds(records);
    }
    std::printf("mean unit seconds: %.4f plain, %.4f with the abuse\n", means[0], means[1]);
}
