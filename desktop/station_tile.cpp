#include "desktop/station_tile.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {

constexpr std::size_t kRecentLines = 4;

QString phaseText(UnitPhase phase, int percent) {
    switch (phase) {
        case UnitPhase::settingFlash: return "setting flash";
        case UnitPhase::erasing: return "erasing";
        case UnitPhase::programming: return QString("programming %1%").arg(percent);
        case UnitPhase::verifying: return QString("verifying %1%").arg(percent);
        case UnitPhase::working: return QString("working %1%").arg(percent);
        case UnitPhase::idle: break;
    }
    return "working";
}

}  // namespace

StationTile::StationTile(unsigned programmer, const std::vector<std::string>& ports, QWidget* parent)
    : QFrame(parent) {
    setObjectName(QString("tile%1").arg(programmer));
    setFrameShape(QFrame::Box);
    auto* layout = new QVBoxLayout(this);
    QString title = QString("Programmer %1").arg(programmer);
    QStringList names;
    for (const std::string& port : ports) names << QString::fromStdString(port);
    if (!names.isEmpty()) title += "  (" + names.join(", ") + ")";
    auto* heading = new QLabel(title, this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);

    state_ = new QLabel(this);
    state_->setObjectName("state");
    state_->setAlignment(Qt::AlignCenter);
    state_->setAutoFillBackground(true);
    QFont large = state_->font();
    large.setPointSizeF(large.pointSizeF() * 2.6);
    large.setBold(true);
    state_->setFont(large);
    state_->setMinimumWidth(state_->fontMetrics().horizontalAdvance("programming 100%") + 24);
    state_->setMinimumHeight(state_->fontMetrics().height() * 2);
    layout->addWidget(state_);

    counts_ = new QLabel(this);
    counts_->setObjectName("counts");
    layout->addWidget(counts_);
    lines_ = new QLabel(this);
    lines_->setObjectName("lines");
    lines_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lines_->setMinimumHeight(lines_->fontMetrics().lineSpacing() * static_cast<int>(kRecentLines));
    layout->addWidget(lines_, 1);
    refresh();
}

void StationTile::seated(bool seated) {
    seated_ = seated;
    refresh();
}

void StationTile::unitStarted() {
    running_ = true;
    phase_ = UnitPhase::settingFlash;
    percent_ = 0;
    recent_.clear();
    refresh();
}

void StationTile::progress(UnitPhase phase, int percent) {
    phase_ = phase;
    percent_ = percent;
    refresh();
}

void StationTile::line(const std::string& text) {
    recent_.push_back(text);
    while (recent_.size() > kRecentLines) recent_.pop_front();
    refresh();
}

void StationTile::ended(bool passed) {
    running_ = false;
    ++units_;
    if (passed) ++passed_;
    last_ = passed ? "PASS" : "FAIL";
    refresh();
}

QString StationTile::state() const {
    if (running_) return phaseText(phase_, percent_);
    if (!seated_) return "no module";
    return last_.empty() ? "module seated" : QString::fromStdString(last_);
}

QString StationTile::counts() const {
    return QString("%1 units, %2 passed, %3 failed").arg(units_).arg(passed_).arg(units_ - passed_);
}

void StationTile::refresh() {
    // Colours a person tells apart from a metre away: green for a pass, red
    // for a failure, amber while a unit runs, grey while the socket is empty.
    const QString text = state();
    QString background = "#9e9e9e", foreground = "#000000";
    if (running_) background = "#ffb300";
    else if (text == "PASS") background = "#2e7d32", foreground = "#ffffff";
    else if (text == "FAIL") background = "#c62828", foreground = "#ffffff";
    else if (seated_) background = "#90caf9";
    state_->setText(text);
    state_->setStyleSheet(QString("QLabel { background: %1; color: %2; padding: 6px; }")
                              .arg(background, foreground));
    counts_->setText(counts());
    QStringList lines;
    for (const std::string& l : recent_) lines << QString::fromStdString(l);
    lines_->setText(lines.join("\n"));
}
