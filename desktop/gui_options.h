// The desktop program's command line:
//   vm612k-gui [--lang en|sc] [--sim[=CONFIG]] [--station] [IMAGE]
//   vm612k-gui [--lang en|sc] [--sim[=CONFIG]] --station-job JOB [--trust KEY]...
#pragma once

#include <optional>
#include <string>
#include <vector>

struct GuiOptions {
    bool chinese = false;
    std::optional<std::string> simConfig;  // --sim alone: the defaults ("")
    std::optional<std::string> image;
    bool station = false;  // the station board with IMAGE, started
    std::optional<std::string> stationJob;  // the station board on this job, started
    std::vector<std::string> trustedKeys;   // the job must be signed by one of them
    bool help = false;
    std::string error;  // empty when the line was understood
};

// `arguments` without the program's name.
GuiOptions parseGuiOptions(const std::vector<std::string>& arguments);

extern const char* const kGuiUsage;
