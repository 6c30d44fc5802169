// Process entry of the launcher on Linux: the two builds are the programs
// QX_App_EN and QX_App_SC beside the launcher; each is started as a detached
// process (a session of its own, never waited for). There is no message box:
// errors go to standard error.
#include <spawn.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "launcher/launcher_logic.h"

extern char** environ;

namespace {

std::string ownExecutablePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return std::string();
        if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(n));
        if (buffer.size() >= (1u << 20)) return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

class SpawnAttributes {
public:
    SpawnAttributes() { ok_ = posix_spawnattr_init(&attr_) == 0; }
    ~SpawnAttributes() {
        if (ok_) posix_spawnattr_destroy(&attr_);
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    bool detach() { return ok_ && posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSID) == 0; }
    const posix_spawnattr_t* get() const { return &attr_; }

private:
    posix_spawnattr_t attr_{};
    bool ok_ = false;
};

bool startDetached(const std::string& path) {
    SpawnAttributes attributes;
    if (!attributes.detach()) return false;
    std::string program = path;
    char* argv[] = {program.data(), nullptr};
    pid_t pid = 0;
    // Not waited for: when the launcher ends, the system adopts the child.
    return posix_spawn(&pid, path.c_str(), nullptr, attributes.get(), argv, environ) == 0;
}

void printError(const char* text, const char* caption) { std::fprintf(stderr, "%s: %s\n", caption, text); }

}  // namespace

int main() {
    launcher::LauncherPlatform platform;
    platform.ownPath = ownExecutablePath();
    platform.separator = '/';
    platform.englishProgram = "QX_App_EN";
    platform.chineseProgram = "QX_App_SC";
    platform.start = startDetached;
    platform.showError = printError;
    return launcher::runLauncher(platform);
}
