// A stand-in for a build of the programmer application in the launcher's
// process tests: it leaves "<its own path>.ran" holding the working directory
// it was started in and the number of arguments it got.
#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    if (argc < 1 || !argv[0]) return 1;
    const std::string marker = std::string(argv[0]) + ".ran";
    const std::string part = marker + ".part";
    std::FILE* f = std::fopen(part.c_str(), "wb");
    if (!f) return 1;
    std::error_code ec;
    const std::string cwd = std::filesystem::current_path(ec).string();
    std::fprintf(f, "%s %d\n", cwd.c_str(), argc - 1);
    std::fclose(f);
    // Appears whole: the test waits for the name.
    return std::rename(part.c_str(), marker.c_str()) == 0 ? 0 : 1;
}
