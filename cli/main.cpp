// vm612k: the command-line front end of the VM612K flash programmer.
#include <cstdio>
#include <exception>

#include "cli/options.h"
#include "cli/run.h"
#include "platform/dll_search.h"
#include "platform/process.h"

int main(int argc, char** argv) {
    platform::hardenDllSearch();
    // The last boundary: what a library call throws past the checks ends the
    // run with its text, never with an abort.
    try {
        CliParse parse = parseCommandLine(argc, argv);
        if (!parse.options) return parse.exitStatus;
        return runCli(*parse.options, platform::programPath(argc > 0 ? argv[0] : nullptr));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vm612k: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "vm612k: an unexpected error ended the run\n");
    }
    return 2;
}
