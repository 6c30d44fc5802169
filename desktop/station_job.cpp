#include "desktop/station_job.h"
#include "desktop/station_job_serials.h"

#include <QFileInfo>

#include "desktop/fill_in.h"
#include "job/digest.h"
#include "station/production_start.h"
#include "texts/texts.h"

namespace {

// The short form of a SHA-256 that an operator compares by eye.
constexpr int kShortSha = 12;

bool startsWith(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }

// The job library names what it refuses as "file: ..." for a key or the
// signature, and "job:line: table.key: ..." for the job's own fields; the
// catalogue's reason follows from which file or key it names.
const char* reasonFor(const std::string& error, const std::string& jobPath,
                      const std::vector<std::string>& trustedKeys) {
    const Texts& t = txt();
    if (!vmjob::jobsSupported()) return t.jobUnsupported;
    if (startsWith(error, jobPath + ".minisig: ")) return t.jobRefusedSignature;
    for (const std::string& key : trustedKeys)
        if (startsWith(error, key + ": ")) return t.jobRefusedSignature;
    if (error.find(": image.file: ") != std::string::npos) return t.jobRefusedImageMissing;
    if (error.find(": image.sha256: ") != std::string::npos && error.find(", not the job's") != std::string::npos)
        return t.jobRefusedImageChanged;
    if (error.find(": flash.size: ") != std::string::npos && error.find("larger than the flash") != std::string::npos)
        return t.jobRefusedTooLarge;
    return t.jobRefusedText;
}

}  // namespace

OpenedJob openStationJob(const QString& path, const std::vector<std::string>& trustedKeys) {
    const std::string jobPath = path.toStdString();
    vmjob::JobCheck check = vmjob::checkJob(jobPath, trustedKeys);
    const QString name = QFileInfo(path).fileName();
    OpenedJob opened;
    if (!check.job) {
        opened.reason = fillIn(reasonFor(check.error, jobPath, trustedKeys), {name});
        opened.detail = QString::fromStdString(check.error);
        return opened;
    }
    if (check.job->sizeIndex < 0) {
        opened.reason = fillIn(txt().jobRefusedAutoSize, {name});
        opened.detail = QString::fromStdString(jobPath + ":" + std::to_string(check.job->spec.sizeLine) +
                                               ": flash.size: " + check.job->spec.size);
        return opened;
    }
    opened.job = std::move(check.job);
    return opened;
}

void applyJob(const vmjob::CheckedJob& job, ProductionSetup& setup) {
    const vmjob::JobSpec& spec = job.spec;
    setup.imageFile = job.imagePath;
    setup.imageName = QFileInfo(QString::fromStdString(job.imagePath)).fileName().toStdString();
    setup.job.sizeIndex = job.sizeIndex;
    setup.job.erase = spec.erase;
    setup.job.eraseIfNeeded = spec.eraseIfNeeded;
    setup.job.program = spec.program;
    setup.job.verify = spec.verify;
    setup.expectedChecksum.reset();  // the job's SHA-256 stands for it
    setup.jobStamp = jobStampOf(job);
    // The image is read once more at the start: bytes changed since the job
    // was opened start nothing.
    setup.openSerials = jobSerialSource(spec);
    setup.openRecords = jobRecordSink(job.recordStore);
    setup.checkImage = [expected = spec.imageSha256, file = job.imagePath](const std::vector<std::uint8_t>& bytes) {
        const std::string loaded = vmjob::sha256Hex(bytes);
        if (loaded == expected) return std::string();
        return fillIn(txt().jobImageChangedAtStart, {QString::fromStdString(file), QString::fromStdString(loaded)})
            .toStdString();
    };
}

QString jobHeading(const vmjob::CheckedJob& job) {
    const QString name = QString::fromStdString(job.spec.name);
    if (job.spec.revision.empty()) return fillIn(txt().jobHeading, {name});
    return fillIn(txt().jobHeadingRevision, {name, QString::fromStdString(job.spec.revision)});
}

QString jobImageAndSigner(const vmjob::CheckedJob& job) {
    const QString sha = QString::fromStdString(job.spec.imageSha256.substr(0, kShortSha));
    const QString signer = job.signedJob ? QString::fromStdString(job.signer) : fillIn(txt().jobUnsigned);
    return fillIn(txt().jobImageSigner, {sha, signer});
}
