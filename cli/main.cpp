// vm612k: the command-line front end of the VM612K flash programmer.
#include "cli/options.h"
#include "cli/run.h"
#include "platform/dll_search.h"
#include "platform/process.h"

int main(int argc, char** argv) {
    platform::hardenDllSearch();
    CliParse parse = parseCommandLine(argc, argv);
    if (!parse.options) return parse.exitStatus;
    return runCli(*parse.options, platform::programPath(argc > 0 ? argv[0] : nullptr));
}
