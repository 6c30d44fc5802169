// The station board's fields: the image, the flash size, Truncate, the
// steps, the audit log and the expected checksum. On a production job the
// image, the size and the steps show the job's values and cannot be edited;
// Truncate and the checksum have no say (the job's image fits its flash, and
// its SHA-256 stands for the checksum). While the station runs, none can be
// edited.
#pragma once

#include <QWidget>

#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
namespace vmjob {
struct CheckedJob;
}

class StationFields final : public QWidget {
    Q_OBJECT

public:
    explicit StationFields(QWidget* parent = nullptr);

    void setImage(const QString& path);
    void setLog(const QString& path);
    void setSize(int sizeIndex);
    void setTruncate(bool truncate);
    void setExpectedChecksum(const QString& text);

    QString image() const;
    int sizeIndex() const;
    bool truncate() const;
    bool erase() const;
    bool eraseIfNeeded() const;  // the erase leaves a blank flash as it is
    bool program() const;
    bool verify() const;
    QString log() const;
    QString expectedChecksum() const;

    // Shows the job's values and locks them; null: a refused job, no image
    // and nothing to edit.
    void showJob(const vmjob::CheckedJob* job);
    // The free fields again, as they were before the job.
    void leaveJob();
    bool onJob() const { return onJob_; }
    // Off while the station runs.
    void setEditable(bool editable);

private:
    struct Free {
        QString image, checksum;
        int sizeIndex = 0;
        bool truncate = false, erase = true, program = true, verify = true;
        bool eraseIfNeeded = false;
    };
    void lock();

    QLineEdit* image_ = nullptr;
    QComboBox* size_ = nullptr;
    QCheckBox* truncate_ = nullptr;
    QCheckBox* erase_ = nullptr;
    QCheckBox* program_ = nullptr;
    QCheckBox* verify_ = nullptr;
    QCheckBox* eraseIfNeeded_ = nullptr;
    QLineEdit* log_ = nullptr;
    QLineEdit* checksum_ = nullptr;
    bool onJob_ = false;
    bool editable_ = true;
    std::optional<Free> free_;  // what the fields held before the job
};
