#include "desktop/station_fields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>

#include "app/flash_size.h"
#include "desktop/fill_in.h"
#include "job/job_check.h"
#include "texts/texts.h"

namespace {
QCheckBox* stepBox(const char* text, const char* name, QWidget* parent) {
    auto* box = new QCheckBox(fillIn(text), parent);
    box->setObjectName(name);
    box->setChecked(true);
    return box;
}
}  // namespace

StationFields::StationFields(QWidget* parent) : QWidget(parent) {
    setObjectName("fields");
    // The fields keep their height; the tiles take what room there is.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    const Texts& t = txt();
    auto* fields = new QFormLayout(this);
    fields->setContentsMargins(0, 0, 0, 0);
    image_ = new QLineEdit(this);
    image_->setObjectName("image");
    size_ = new QComboBox(this);
    size_->setObjectName("size");
    for (const FlashSizeEntry& entry : FlashSizeTable) size_->addItem(entry.label);
    size_->setCurrentIndex(kDefaultFlashSizeIndex);
    truncate_ = new QCheckBox(fillIn(t.boardTruncate), this);
    truncate_->setObjectName("truncate");
    erase_ = stepBox(t.buttonErase, "erase", this);
    program_ = stepBox(t.buttonProgram, "program", this);
    verify_ = stepBox(t.buttonVerify, "verify", this);
    auto* steps = new QHBoxLayout;
    steps->addWidget(erase_);
    steps->addWidget(program_);
    steps->addWidget(verify_);
    steps->addStretch(1);
    eraseIfNeeded_ = new QCheckBox(fillIn(t.boardEraseIfNeeded), this);
    eraseIfNeeded_->setObjectName("eraseIfNeeded");
    log_ = new QLineEdit(this);
    log_->setObjectName("log");
    checksum_ = new QLineEdit(this);
    checksum_->setObjectName("checksum");
    checksum_->setPlaceholderText(fillIn(t.boardChecksumAny));
    fields->addRow(fillIn(t.boardImage), image_);
    fields->addRow(fillIn(t.boardFlashSize), size_);
    fields->addRow(QString(), truncate_);
    fields->addRow(fillIn(t.boardSteps), steps);
    fields->addRow(QString(), eraseIfNeeded_);
    fields->addRow(fillIn(t.boardAuditLog), log_);
    fields->addRow(fillIn(t.boardChecksum), checksum_);
}

void StationFields::setImage(const QString& path) { image_->setText(path); }
void StationFields::setLog(const QString& path) { log_->setText(path); }
void StationFields::setSize(int sizeIndex) { size_->setCurrentIndex(sizeIndex); }
void StationFields::setTruncate(bool truncate) { truncate_->setChecked(truncate); }
void StationFields::setExpectedChecksum(const QString& text) { checksum_->setText(text); }

QString StationFields::image() const { return image_->text(); }
int StationFields::sizeIndex() const { return size_->currentIndex(); }
bool StationFields::truncate() const { return truncate_->isChecked(); }
bool StationFields::erase() const { return erase_->isChecked(); }
bool StationFields::eraseIfNeeded() const { return eraseIfNeeded_->isChecked(); }
bool StationFields::program() const { return program_->isChecked(); }
bool StationFields::verify() const { return verify_->isChecked(); }
QString StationFields::log() const { return log_->text(); }
QString StationFields::expectedChecksum() const { return checksum_->text(); }

void StationFields::showJob(const vmjob::CheckedJob* job) {
    if (!free_) {
        free_ = Free{image_->text(),        checksum_->text(),     size_->currentIndex(), truncate_->isChecked(),
                     erase_->isChecked(), program_->isChecked(), verify_->isChecked(),
                     eraseIfNeeded_->isChecked()};
    }
    image_->setText(job != nullptr ? QString::fromStdString(job->imagePath) : QString());
    if (job != nullptr) {
        size_->setCurrentIndex(job->sizeIndex);
        erase_->setChecked(job->spec.erase);
        eraseIfNeeded_->setChecked(job->spec.eraseIfNeeded);
        program_->setChecked(job->spec.program);
        verify_->setChecked(job->spec.verify);
    }
    truncate_->setChecked(false);
    checksum_->clear();
    checksum_->setPlaceholderText(fillIn(txt().boardJobChecksum));
    onJob_ = true;
    lock();
}

void StationFields::leaveJob() {
    if (free_) {
        image_->setText(free_->image);
        size_->setCurrentIndex(free_->sizeIndex);
        truncate_->setChecked(free_->truncate);
        erase_->setChecked(free_->erase);
        eraseIfNeeded_->setChecked(free_->eraseIfNeeded);
        program_->setChecked(free_->program);
        verify_->setChecked(free_->verify);
        checksum_->setText(free_->checksum);
        free_.reset();
    }
    checksum_->setPlaceholderText(fillIn(txt().boardChecksumAny));
    onJob_ = false;
    lock();
}

void StationFields::setEditable(bool editable) {
    editable_ = editable;
    lock();
}

// The job's fields are read-only whenever a job is open; every field is
// while the station runs. The image's path stays selectable, to be copied.
void StationFields::lock() {
    const bool free = editable_ && !onJob_;
    image_->setReadOnly(!free);
    image_->setEnabled(editable_ || onJob_);
    for (QWidget* field : {static_cast<QWidget*>(size_), static_cast<QWidget*>(truncate_),
                           static_cast<QWidget*>(erase_), static_cast<QWidget*>(program_),
                           static_cast<QWidget*>(verify_), static_cast<QWidget*>(eraseIfNeeded_),
                           static_cast<QWidget*>(checksum_)})
        field->setEnabled(free);
    log_->setEnabled(editable_);
}
