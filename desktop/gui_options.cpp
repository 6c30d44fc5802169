#include "desktop/gui_options.h"

const char* const kGuiUsage =
    "usage: vm612k-gui [--lang en|sc] [--sim[=CONFIG]] [--station] [IMAGE]\n"
    "       vm612k-gui [--lang en|sc] [--sim[=CONFIG]] --station-job JOB [--trust KEY]...\n"
    "  --lang en|sc   the window's texts: English (default) or Simplified Chinese\n"
    "  --sim[=CONFIG] the built-in emulator instead of the USB programmers\n"
    "                 (CONFIG as in VM612K_SIM; see vm612k(1))\n"
    "  --station      the station board, started with IMAGE (which it needs)\n"
    "  --station-job JOB  the station board on the production job JOB, started\n"
    "  --trust KEY    a minisign public key; the job must be signed by one given\n"
    "  IMAGE          an image file, loaded at start\n";

GuiOptions parseGuiOptions(const std::vector<std::string>& arguments) {
    GuiOptions options;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < arguments.size() && options.error.empty(); ++i) {
        const std::string& a = arguments[i];
        if (onlyFiles || a.empty() || a[0] != '-' || a == "-") {
            if (options.image) {
                options.error = "only one image file: " + a;
            } else {
                options.image = a;
            }
        } else if (a == "--") {
            onlyFiles = true;
        } else if (a == "--help" || a == "-h") {
            options.help = true;
        } else if (a == "--station") {
            options.station = true;
        } else if (a == "--station-job" || a == "--trust") {
            if (i + 1 >= arguments.size()) {
                options.error = a + " needs a file";
            } else if (a == "--trust") {
                options.trustedKeys.push_back(arguments[++i]);
            } else {
                options.stationJob = arguments[++i];
            }
        } else if (a == "--sim") {
            options.simConfig = std::string();
        } else if (a.rfind("--sim=", 0) == 0) {
            options.simConfig = a.substr(6);
        } else if (a == "--lang" || a.rfind("--lang=", 0) == 0) {
            std::string value;
            if (a == "--lang") {
                if (i + 1 < arguments.size()) value = arguments[++i];
            } else {
                value = a.substr(7);
            }
            if (value == "en") {
                options.chinese = false;
            } else if (value == "sc") {
                options.chinese = true;
            } else {
                options.error = "--lang takes en or sc";
            }
        } else {
            options.error = "unknown option " + a;
        }
    }
    if (!options.error.empty()) return options;
    if (options.station && !options.image) options.error = "--station needs the image to program";
    if (options.stationJob && (options.station || options.image))
        options.error = "--station-job names its image: no --station or IMAGE with it";
    if (!options.trustedKeys.empty() && !options.stationJob) options.error = "--trust goes with --station-job";
    return options;
}
