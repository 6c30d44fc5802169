#include "tests/support/postgres/postgres_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace vmtest {
namespace fs = std::filesystem;
namespace {

constexpr const char* superuser = "vm612k";

// A loopback port nobody listens on now (the server may still lose it to
// another program before it binds; start() tries again then).
int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) throw std::runtime_error("postgres harness: no socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    if (port == 0) throw std::runtime_error("postgres harness: no free loopback port");
    return port;
}

// The user the server runs as: ourselves, or "nobody" when we are root.
struct RunAs {
    bool drop = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

RunAs runAs() {
    RunAs as;
    if (::geteuid() != 0) return as;
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody) throw std::runtime_error("postgres harness: running as root and there is no user nobody");
    as.drop = true;
    as.uid = nobody->pw_uid;
    as.gid = nobody->pw_gid;
    return as;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Waits for the child within the bound; kills it past the bound.
int waitBounded(pid_t pid, int boundSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(boundSeconds);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

PostgresServer::PostgresServer() : PostgresServer(Options{}) {}

PostgresServer::PostgresServer(Options options) : options_(options) {
    std::string pattern = (fs::temp_directory_path() / "vm612k-pg.XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("postgres harness: no scratch folder");
    folder_ = pattern;
    data_ = folder_ + "/data";
    log_ = folder_ + "/server.log";
    const RunAs as = runAs();
    if (as.drop && ::chown(folder_.c_str(), as.uid, as.gid) != 0) {
        fs::remove_all(folder_);
        throw std::runtime_error("postgres harness: cannot give " + folder_ + " to nobody");
    }
    try {
        run("initdb", {std::string(binDir) + "/initdb", "-D", data_, "-U", superuser, "-A", "trust",
                       "-E", "UTF8", "--no-locale", "--no-sync"}, 120);
        for (int attempt = 1;; ++attempt) {
            port_ = freeLoopbackPort();
            try {
                start();
                break;
            } catch (const std::runtime_error&) {
                if (attempt == 3) throw;
            }
        }
    } catch (...) {
        stop();
        fs::remove_all(folder_);
        throw;
    }
}

void PostgresServer::start() {
    std::string settings = "-c listen_addresses=127.0.0.1 -p " + std::to_string(port_) + " -k " + folder_ +
                           " -c max_connections=64";
    if (!options_.durable) settings += " -c fsync=off -c synchronous_commit=off";
    run("pg_ctl start", {std::string(binDir) + "/pg_ctl", "-D", data_, "-l", log_, "-w", "-t", "60", "-o",
                         settings, "start"}, 90);
    started_ = true;
}

void PostgresServer::pause() { stop(); }

void PostgresServer::resume() {
    if (!started_) start();
}

PostgresServer::~PostgresServer() {
    stop();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::string PostgresServer::url(const std::string& database) const {
    return std::string("postgresql://") + superuser + "@127.0.0.1:" + std::to_string(port_) + "/" + database;
}

void PostgresServer::createDatabase(const std::string& name) {
    run("createdb", {std::string(binDir) + "/createdb", "-h", "127.0.0.1", "-p", std::to_string(port_), "-U",
                     superuser, name}, 60);
}

// Runs a PostgreSQL program as the server's user, its output appended to the
// folder's log; throws with that log when it fails or overruns its bound.
void PostgresServer::run(const std::string& what, const std::vector<std::string>& args, int boundSeconds) {
    const RunAs as = runAs();
    const std::string output = folder_ + "/tools.log";
    const auto start = fs::exists(output) ? fs::file_size(output) : 0;
    // Everything the child needs is made before the fork: it only calls what
    // is safe between fork and exec in a program with threads.
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("postgres harness: fork failed");
    if (pid == 0) {
        const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
        }
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0) ::dup2(null, 0);
        if (::chdir(folder_.c_str()) != 0) ::_exit(126);
        if (as.drop && (::setgroups(0, nullptr) != 0 || ::setgid(as.gid) != 0 || ::setuid(as.uid) != 0))
            ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    const int code = waitBounded(pid, boundSeconds);
    if (code != 0) {
        std::string log = readFile(output).substr(start);
        if (fs::exists(log_)) log += readFile(log_);
        throw std::runtime_error("postgres harness: " + what + " failed (" +
                                 (code < 0 ? std::string("killed past its bound") : "exit " + std::to_string(code)) +
                                 "):\n" + log);
    }
}

// pg_ctl's fast stop, then its immediate one, then the postmaster killed.
void PostgresServer::stop() {
    if (!started_) return;
    started_ = false;
    const std::string pgCtl = std::string(binDir) + "/pg_ctl";
    for (const char* mode : {"fast", "immediate"}) {
        try {
            run(std::string("pg_ctl stop -m ") + mode, {pgCtl, "-D", data_, "-m", mode, "-w", "-t", "30", "stop"}, 45);
            return;
        } catch (const std::runtime_error&) {
        }
    }
    std::ifstream pidFile(data_ + "/postmaster.pid");
    pid_t postmaster = 0;
    if (pidFile >> postmaster && postmaster > 0) ::kill(postmaster, SIGKILL);
}

}  // namespace vmtest
