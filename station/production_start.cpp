#include "station/production_start.h"

#include "app/flash_size.h"
#include "app/image_files.h"
#include "platform/append_file.h"

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
    facts.command = setup.command;
    facts.flashSize = FlashSizeTable[setup.job.sizeIndex].size;
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
    start.production = std::make_unique<Production>(setup.job, facts, std::move(log), observer,
                                                    setup.keepUnits);
    return start;
}

std::vector<ProgrammerInfo> attachProgrammers(
    const std::function<void(const ProgrammerInfo&)>& failed) {
    std::vector<ProgrammerInfo> attached;
    DevRefresh();
    for (ProgrammerInfo info : DevProgrammers()) {
        if (info.open) continue;
        info.handle = DevAttach(info.index);
        if (info.handle < 0) {
            if (failed) failed(info);
            continue;
        }
        info.open = true;
        attached.push_back(info);
    }
    return attached;
}
