// The station board on a production job: opened through the job library's
// check, shown in the banner and the locked fields, refused with its reason,
// or left for the free fields.
#include <QFileInfo>
#include <QPushButton>

#include "desktop/fill_in.h"
#include "desktop/job_banner.h"
#include "desktop/station_board.h"
#include "desktop/station_fields.h"
#include "desktop/station_job.h"
#include "texts/texts.h"

void StationBoard::setTrustedKeys(std::vector<std::string> keys) {
    trustedKeys_ = std::move(keys);
    leaveJob_->setVisible(onJob() && trustedKeys_.empty());
}

bool StationBoard::onJob() const { return fields_->onJob(); }

bool StationBoard::openJob(const QString& path) {
    if (engine_) return false;
    OpenedJob opened = openStationJob(path, trustedKeys_);
    if (!opened.job) {
        refuseJob(QFileInfo(path).fileName(), opened.reason, opened.detail);
        return false;
    }
    job_ = std::make_unique<vmjob::CheckedJob>(std::move(*opened.job));
    fields_->showJob(job_.get());
    banner_->showJob(*job_);
    const QString name = QString::fromStdString(job_->spec.name);
    showStatus(fillIn(job_->signedJob ? txt().jobReady : txt().jobReadyUnsigned, {name}));
    leaveJob_->setVisible(trustedKeys_.empty());
    enableFields(true);
    fitTiles();
    return true;
}

// A refused job locks the fields as a job does, with nothing in them to run.
void StationBoard::refuseJob(const QString& file, const QString& reason, const QString& detail) {
    job_.reset();
    fields_->showJob(nullptr);
    banner_->showRefusal(file, reason);
    showStatus(detail);
    leaveJob_->setVisible(trustedKeys_.empty());
    enableFields(true);
    fitTiles();
}

void StationBoard::leaveJob() {
    if (engine_ || !trustedKeys_.empty()) return;
    job_.reset();
    fields_->leaveJob();
    banner_->clear();
    leaveJob_->hide();
    showStatus(QString());
    enableFields(true);
    fitTiles();
}
