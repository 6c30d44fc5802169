#include "cli/run_output.h"

#include <vector>

#include "cli/json.h"
#include "device/devapi.h"
#include "usb/usb_access_hint.h"

namespace cli_run {

namespace {

std::string listJson(const std::vector<ProgrammerInfo>& found) {
    Json list = Json::array();
    for (std::size_t i = 0; i < found.size(); ++i) {
        Json programmer;
        programmer["index"] = i;
        programmer["ports"] = Json::array();
        for (std::size_t k = 0; k < found[i].portNames.size(); ++k) {
            Json port;
            port["name"] = found[i].portNames[k];
            port["device"] = found[i].devicePaths[k];
            programmer["ports"].push_back(std::move(port));
        }
        list.push_back(std::move(programmer));
    }
    return jsonLine(std::move(list)) + "\n";
}

}  // namespace

// When a programmer was there but could not be opened: what gives access.
void printAccessHint() {
    const std::string hint = platform::usbAccessHint();
    if (!hint.empty()) std::fprintf(stderr, "vm612k: %s\n", hint.c_str());
}

int listProgrammers(Output& output) {
    std::vector<ProgrammerInfo> found = DevListProgrammers();
    if (output.json()) {
        output.out(listJson(found));
    } else {
        for (std::size_t i = 0; i < found.size(); ++i) {
            std::string line = std::to_string(i);
            for (std::size_t k = 0; k < found[i].portNames.size(); ++k) {
                line += " " + found[i].portNames[k];
                if (!found[i].devicePaths[k].empty()) line += " " + found[i].devicePaths[k];
            }
            output.out(line + "\n");
        }
    }
    if (found.empty()) {
        std::fprintf(stderr, "no programmer found\n");
        printAccessHint();
    }
    return output.finish(kExitOk);
}


}  // namespace cli_run
