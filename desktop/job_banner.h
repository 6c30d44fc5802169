// The job on the station board, in type to be checked from a step away: its
// name and revision, the short SHA-256 of its image and who signed it; or,
// on red, why the job was refused. Hidden while the board has no job.
#pragma once

#include <QFrame>

class QLabel;
namespace vmjob {
struct CheckedJob;
}

class JobBanner final : public QFrame {
    Q_OBJECT

public:
    explicit JobBanner(QWidget* parent = nullptr);

    void showJob(const vmjob::CheckedJob& job);
    // `file` is the job file's name, `reason` the sentence that says why.
    void showRefusal(const QString& file, const QString& reason);
    void clear();
    // Room for the refusal's wrapped lines at the board's narrowest width.
    void keepRoomAt(int width);

    bool refused() const { return refused_; }
    QString heading() const;
    QString line() const;

private:
    void paint(const char* background);

    QLabel* heading_ = nullptr;
    QLabel* line_ = nullptr;
    bool refused_ = false;
};
