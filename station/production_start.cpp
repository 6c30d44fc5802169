#include "station/production_start.h"

#include <fstream>
#include <iterator>
#include <thread>

#include "app/flash_size.h"
#include "app/image_files.h"
#include "platform/append_file.h"
#include "platform/process.h"
#include "platform/utc_time.h"

#include <cstdio>
#include <random>

std::string newRunId() {
    std::string id;
    for (char c : platform::utcNowIso8601())
        if (c != '-' && c != ':') id += c;
    std::random_device random;
    char hex[16];
    std::snprintf(hex, sizeof hex, "-%08x", static_cast<unsigned>(random()));
    return id + hex;
}

namespace {

// The last records of the log: an earlier run's units in flight, if any,
// are among them.
std::string logTail(const std::string& path) {
    constexpr std::streamoff kTail = 1 << 20;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return "";
    const std::streamoff size = in.tellg();
    in.seekg(size > kTail ? size - kTail : 0);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

ProductionStart startProduction(const ProductionSetup& setup, const std::string& programPath,
                                StationObserver& observer,
                                const std::function<void(const std::string&)>& loadLine) {
    ProductionStart start;
    std::unique_ptr<platform::AppendFile> log;
    if (!setup.logPath.empty()) {
        log = platform::AppendFile::open(setup.logPath, &start.error);
        if (!log) {
            start.refusal = ProductionRefusal::auditLog;
            return start;
        }
    }
    if (setup.initializeDevices && !DevInitialize(programPath.c_str())) {
        start.refusal = ProductionRefusal::noHid;
        return start;
    }

    JobFacts facts;
    facts.run = newRunId();
    facts.station = setup.station.empty() ? platform::hostName() : setup.station;
    facts.command = setup.command;
    // With an automatic size each unit's record names the size it set.
    facts.flashSize = setup.job.sizeIndex >= 0 ? FlashSizeTable[setup.job.sizeIndex].size : 0;
    facts.steps = jobSteps(setup.job);
    facts.version = setup.version;
    facts.imageName = setup.imageName;
    facts.jobStamp = setup.jobStamp;
    if (!setup.imageFile.empty()) {
        start.image = loadImageOnce(programPath, setup.imageFile, loadLine);
        if (!start.image.bytes) {
            start.refusal = ProductionRefusal::image;
            return start;
        }
        if (setup.checkImage) start.error = setup.checkImage(*start.image.bytes);
        if (!start.error.empty()) {
            start.refusal = ProductionRefusal::image;
            return start;
        }
        facts.imageSize = static_cast<std::uint32_t>(start.image.bytes->size());
        facts.imageChecksum = imageChecksum(start.image.bytes->data(), start.image.bytes->size());
        start.checksum = facts.imageChecksum;
        if (setup.expectedChecksum && *setup.expectedChecksum != facts.imageChecksum) {
            start.refusal = ProductionRefusal::checksum;
            return start;
        }
    }
    std::shared_ptr<SerialSource> serials;
    if (setup.openSerials) {
        serials = setup.openSerials(facts.station, &start.error);
        if (!serials) {
            start.refusal = ProductionRefusal::serialStore;
            return start;
        }
    }
    start.production = std::make_unique<Production>(setup.job, facts, std::move(log), observer,
                                                    setup.keepUnits);
    start.production->setSerials(std::move(serials));
    if (setup.openRecords) {
        std::shared_ptr<RecordSink> records = setup.openRecords(setup.logPath);
        // Units an earlier run on this log kept ahead of their settles and
        // never ended: on record in the log too.
        if (records && !records->aheadLeft().empty())
            start.production->logMissing(records->aheadLeft(), logTail(setup.logPath));
        start.production->setRecords(std::move(records));
    }
    return start;
}

std::vector<ProgrammerInfo> attachProgrammers(
    const std::function<void(const ProgrammerInfo&)>& failed) {
    DevRefresh();
    std::vector<ProgrammerInfo> found;
    for (const ProgrammerInfo& info : DevProgrammers())
        if (!info.open) found.push_back(info);
    // Each attach waits for its programmer after the connect; they wait side
    // by side, each on a thread of its own. Every step of an attach is
    // bounded (the HID calls and the pause), and so is each join.
    std::vector<DeviceHandle> handles(found.size(), kNoDevice);
    {
        std::vector<std::jthread> attaching;
        for (std::size_t i = 0; i < found.size(); ++i)
            attaching.emplace_back([&handles, &found, i] { handles[i] = DevAttach(found[i].index); });
    }
    std::vector<ProgrammerInfo> attached;
    for (std::size_t i = 0; i < found.size(); ++i) {
        ProgrammerInfo info = found[i];
        info.handle = handles[i];
        if (info.handle < 0) {
            if (failed) failed(info);
            continue;
        }
        info.open = true;
        attached.push_back(info);
    }
    return attached;
}
