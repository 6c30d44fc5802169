#include "desktop/job_banner.h"

#include <QLabel>
#include <QVBoxLayout>

#include "desktop/fill_in.h"
#include "desktop/station_job.h"
#include "texts/texts.h"

namespace {
QLabel* largeLabel(QWidget* parent, const char* name, double scale) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(true);
    label->setFont(font);
    return label;
}
}  // namespace

JobBanner::JobBanner(QWidget* parent) : QFrame(parent) {
    setObjectName("jobBanner");
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    heading_ = largeLabel(this, "jobHeading", 1.8);
    line_ = largeLabel(this, "jobLine", 1.4);
    layout->addWidget(heading_);
    layout->addWidget(line_);
    hide();
}

void JobBanner::paint(const char* background) {
    setStyleSheet(QString("JobBanner { background: %1; } QLabel { color: white; }").arg(background));
}

void JobBanner::showJob(const vmjob::CheckedJob& job) {
    refused_ = false;
    // The job's own lines are short; they never wrap.
    line_->setWordWrap(false);
    heading_->setText(jobHeading(job));
    line_->setText(jobImageAndSigner(job));
    line_->setToolTip(QString::fromStdString(job.spec.imageSha256));
    paint(job.signedJob ? "#1565c0" : "#5d4037");
    show();
}

void JobBanner::showRefusal(const QString& file, const QString& reason) {
    refused_ = true;
    line_->setWordWrap(true);
    heading_->setText(fillIn(txt().jobRefusedHeading, {file}));
    line_->setText(reason);
    line_->setToolTip(QString());
    paint("#c62828");
    show();
}

void JobBanner::clear() {
    refused_ = false;
    heading_->clear();
    line_->clear();
    hide();
}

void JobBanner::keepRoomAt(int width) {
    const QMargins margins = layout()->contentsMargins();
    const int inner = width - margins.left() - margins.right();
    line_->setMinimumHeight(line_->wordWrap() && inner > 0 ? line_->heightForWidth(inner) : 0);
}

QString JobBanner::heading() const { return heading_->text(); }
QString JobBanner::line() const { return line_->text(); }
