#include "tests/support/browser/headless_browser.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vmtest {
namespace fs = std::filesystem;
namespace {

// A scratch folder of the run's own: the profile, HOME, the output files.
class Scratch {
public:
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "vm612k-browser.XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("browser harness: no scratch folder");
        path_ = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// What chromium said on stderr, without its complaints that there is no
// D-Bus (a test machine has none), the last 3000 characters.
std::string lastWords(const std::string& path) {
    std::ifstream in(path);
    std::string all;
    for (std::string line; std::getline(in, line);)
        if (line.find(":ERROR:dbus/") == std::string::npos && line.find("/usr/bin/chromium:") != 0) all += line + "\n";
    return all.size() > 3000 ? "..." + all.substr(all.size() - 3000) : all;
}

std::vector<std::string> arguments(const Scratch& scratch, const BrowserOptions& options) {
    std::vector<std::string> args{
        HeadlessBrowser::program, "--headless=new", "--user-data-dir=" + scratch / "profile",
        "--disable-background-networking", "--no-first-run", "--no-default-browser-check", "--disable-sync",
        "--disable-extensions", "--disable-component-update", "--disable-default-apps", "--disable-gpu",
        "--disable-dev-shm-usage", "--hide-scrollbars", "--force-device-scale-factor=1", "--lang=en-US",
        // Names resolve to nothing but loopback: a page that reaches for
        // anything outside the test fails to load it instead of going out.
        "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1, EXCLUDE localhost",
        "--window-size=" + std::to_string(options.width) + "," + std::to_string(options.height),
        "--virtual-time-budget=" + std::to_string(options.scriptMillis)};
    if (::geteuid() == 0) args.push_back("--no-sandbox");  // chromium's sandbox refuses root
    return args;
}

std::vector<std::string> environment(const Scratch& scratch, const BrowserOptions& options) {
    std::vector<std::string> env{"HOME=" + scratch / "home", "XDG_CONFIG_HOME=" + scratch / "home/.config",
                                 "XDG_CACHE_HOME=" + scratch / "home/.cache", "TZ=" + options.timeZone,
                                 "LANG=C.UTF-8"};
    if (const char* path = std::getenv("PATH")) env.push_back(std::string("PATH=") + path);
    return env;
}

// Runs chromium with `args` in its own process group, stdout to `out` and
// stderr to `err`; its exit status, or -1 when it overran the bound. Every
// process of the group is killed once the browser has ended or overrun.
int runBounded(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& out,
               const std::string& err, const std::string& folder, int boundSeconds) {
    // Everything the child needs is made before the fork: between fork and
    // exec it only calls what is safe in a program with threads.
    std::vector<char*> argv, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("browser harness: fork failed");
    if (pid == 0) {
        ::setpgid(0, 0);
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        if (o < 0 || e < 0 || in < 0 || ::dup2(in, 0) < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0 ||
            ::chdir(folder.c_str()) != 0)
            ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(boundSeconds);
    bool overran = false;
    for (;;) {
        // Ended but not reaped, so that its group id can't be taken by
        // another process before the group is swept.
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            overran = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(-pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (overran) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void runChromium(const Scratch& scratch, std::vector<std::string> args, const std::string& url,
                 const BrowserOptions& options, const std::string& what) {
    const std::string why = HeadlessBrowser::missing();
    if (!why.empty()) throw std::runtime_error(why);
    fs::create_directories(scratch / "home");
    args.push_back(url);
    const int status = runBounded(args, environment(scratch, options), scratch / "stdout", scratch / "stderr",
                                  scratch / "home", options.boundSeconds);
    if (status == -1)
        throw std::runtime_error("chromium did not finish " + what + " of " + url + " within " +
                                 std::to_string(options.boundSeconds) + " s and was killed; it said:\n" +
                                 lastWords(scratch / "stderr"));
    if (status != 0)
        throw std::runtime_error("chromium ended with status " + std::to_string(status) + " during " + what +
                                 " of " + url + "; it said:\n" + lastWords(scratch / "stderr"));
}

}  // namespace

std::string HeadlessBrowser::missing() {
    if (::access(program, X_OK) == 0) return {};
    return std::string("chromium is not installed: ") + program +
           " is missing (Debian's package chromium; the pages' tests run it headless)";
}

std::string HeadlessBrowser::dumpDom(const std::string& url, const BrowserOptions& options) {
    Scratch scratch;
    std::vector<std::string> args = arguments(scratch, options);
    args.push_back("--dump-dom");
    runChromium(scratch, args, url, options, "the DOM");
    std::string dom = readFile(scratch / "stdout");
    if (dom.find("<html") == std::string::npos)
        throw std::runtime_error("chromium gave no DOM for " + url + "; it said:\n" + lastWords(scratch / "stderr"));
    return dom;
}

void HeadlessBrowser::screenshot(const std::string& url, const std::string& file, const BrowserOptions& options) {
    Scratch scratch;
    const std::string picture = scratch / "screenshot.png";
    std::vector<std::string> args = arguments(scratch, options);
    args.push_back("--screenshot=" + picture);
    runChromium(scratch, args, url, options, "a screenshot");
    const std::string bytes = readFile(picture);
    if (bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
        throw std::runtime_error("chromium wrote no screenshot of " + url + "; it said:\n" +
                                 lastWords(scratch / "stderr"));
    const fs::path target(file);
    if (target.has_parent_path()) fs::create_directories(target.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

std::string screenshotFolder(const std::string& fallback) {
    const char* chosen = std::getenv("VM612K_SCREENSHOTS");
    const std::string folder = chosen && *chosen ? chosen : fallback;
    fs::create_directories(folder);
    return folder;
}

}  // namespace vmtest
