#include "run_support.h"

#include <fcntl.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace webtest {
namespace {

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Ended, but left to be reaped.
bool hasEnded(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

}  // namespace

Vm612k::Vm612k(const fs::path& dir, const std::vector<std::string>& args, const std::string& name)
    : out_(dir / (name + ".out")), errFile_(dir / (name + ".err")) {
    std::vector<std::string> all{VM612K_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (const std::string& a : all) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::string out = out_.string(), err = errFile_.string(), folder = dir.string();
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0 || ::chdir(folder.c_str()) != 0) ::_exit(126);
        ::unsetenv("VM612K_SIM");
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
}

Vm612k::~Vm612k() {
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

int Vm612k::port(seconds bound) {
    const std::regex line("listening on http://[^ \n]*:([0-9]+)/");
    int found = 0;
    waitUntil(
        [&] {
            std::smatch match;
            const std::string text = slurp(errFile_);
            if (std::regex_search(text, match, line)) found = std::stoi(match[1]);
            return found != 0 || hasEnded(pid_);
        },
        bound);
    return found;
}

void Vm612k::signal(int number) {
    if (!reaped_) ::kill(pid_, number);
}

int Vm612k::finish(seconds bound) {
    int raw = 0;
    const bool ended = waitUntil([&] { return ::waitpid(pid_, &raw, WNOHANG) == pid_; }, bound);
    if (!ended) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &raw, 0);
    }
    reaped_ = true;
    if (!ended) return -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

std::string Vm612k::err() const { return slurp(errFile_); }

ScratchFolder::ScratchFolder(const std::string& name) {
    const char* base = std::getenv("VM612K_TEST_TMP");
    std::random_device random;
    path_ = fs::path(base && *base ? base : fs::temp_directory_path().string()) /
            (name + "-" + std::to_string(random()));
    fs::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

bool waitUntil(const std::function<bool()>& ready, seconds bound) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::vector<nlohmann::json> records(const fs::path& log) {
    std::vector<nlohmann::json> out;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        // A record being written is whole only with its line end.
        if (!in.eof()) out.push_back(nlohmann::json::parse(line, nullptr, false));
    }
    return out;
}

std::optional<nlohmann::json> getJson(int port, const std::string& path) {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(5);
    client.set_read_timeout(5);
    client.set_write_timeout(5);
    const httplib::Result reply = client.Get(path.c_str());
    if (!reply || reply->status != 200) return std::nullopt;
    nlohmann::json value = nlohmann::json::parse(reply->body, nullptr, false);
    if (value.is_discarded()) return std::nullopt;
    return value;
}

void appendLine(const fs::path& file, const std::string& line) {
    std::ofstream(file, std::ios::app) << line << "\n";
}

void writeSerialJob(const fs::path& dir, const std::string& name, const std::string& store, int first, int last,
                    const std::string& size) {
    std::string image(32768, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 + i / 4096 + 1);
    std::ofstream(dir / "image.bin", std::ios::binary) << image;
    Vm612k job(dir, {"job", "new", name + ".toml", "--image", "image.bin", "-s", size, "--name", name}, "job-new");
    if (job.finish() != 0) throw std::runtime_error("vm612k job new failed: " + job.err());
    std::ofstream(dir / (name + ".toml"), std::ios::app)
        << "\n[serial]\noffset = 0x100\nformat = \"u32le\"\nfirst = " << first << "\nlast = " << last
        << "\nstore = \"" << store << "\"\n";
}

}  // namespace webtest
