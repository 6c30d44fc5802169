#include "desktop/station_tile.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/fill_in.h"
#include "texts/texts.h"

namespace {

constexpr std::size_t kRecentLines = 4;

QString percentText(int percent) { return QString::number(percent) + "%"; }

QString phaseText(UnitPhase phase, int percent) {
    const Texts& t = txt();
    switch (phase) {
        case UnitPhase::settingFlash: return fillIn(t.tileSettingFlash);
        case UnitPhase::erasing: return fillIn(t.tileErasing);
        case UnitPhase::programming: return fillIn(t.tileProgramming, {percentText(percent)});
        case UnitPhase::verifying: return fillIn(t.tileVerifying, {percentText(percent)});
        case UnitPhase::working: return fillIn(t.tileWorking, {percentText(percent)});
        case UnitPhase::idle: break;
    }
    return fillIn(t.tileWorking, {QString()});
}

// The widest text the state line shows.
int widestState(const QFontMetrics& metrics) {
    const Texts& t = txt();
    int widest = 0;
    for (const QString& text : {phaseText(UnitPhase::programming, 100), phaseText(UnitPhase::verifying, 100),
                                phaseText(UnitPhase::working, 100), phaseText(UnitPhase::settingFlash, 0),
                                phaseText(UnitPhase::erasing, 0), fillIn(t.tileNoModule), fillIn(t.tileSeated),
                                fillIn(t.tilePass), fillIn(t.tileFail)})
        widest = qMax(widest, metrics.horizontalAdvance(text));
    return widest;
}

}  // namespace

int textLinesHeight(const QWidget& widget, int lines) {
    // Latin with its descenders and Chinese, whose fallback font is taller.
    QStringList sample;
    for (int i = 0; i < lines; ++i) sample << QString::fromUtf16(u"Agjy|\u70e7\u5f55\u6a21\u5757");
    const QFontMetrics metrics(widget.font());
    return metrics.boundingRect(QRect(0, 0, 1 << 20, 1 << 20), Qt::AlignLeft | Qt::AlignTop, sample.join('\n'))
        .height();
}

StationTile::StationTile(unsigned programmer, const std::vector<std::string>& ports, QWidget* parent)
    : QFrame(parent), programmer_(programmer) {
    setObjectName(QString("tile%1").arg(programmer));
    setFrameShape(QFrame::Box);
    auto* layout = new QVBoxLayout(this);
    heading_ = new QLabel(this);
    QFont bold = heading_->font();
    bold.setBold(true);
    heading_->setFont(bold);
    layout->addWidget(heading_);
    showPorts(ports);

    state_ = new QLabel(this);
    state_->setObjectName("state");
    state_->setAlignment(Qt::AlignCenter);
    state_->setAutoFillBackground(true);
    QFont large = state_->font();
    large.setPointSizeF(large.pointSizeF() * 2.6);
    large.setBold(true);
    state_->setFont(large);
    // Room for every state and its padding, so the tile keeps its size.
    state_->setMinimumWidth(widestState(state_->fontMetrics()) + 24);
    state_->setMinimumHeight(textLinesHeight(*state_, 1) + 24);
    layout->addWidget(state_);

    hint_ = new QLabel(this);
    hint_->setObjectName("hint");
    hint_->setWordWrap(true);
    hint_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont hintFont = hint_->font();
    hintFont.setBold(true);
    hint_->setFont(hintFont);
    hint_->setMinimumHeight(textLinesHeight(*hint_, 2));
    layout->addWidget(hint_);
    handled_ = new QPushButton(fillIn(txt().tileHandled), this);
    handled_->setObjectName("handled");
    handled_->hide();
    connect(handled_, &QPushButton::clicked, this, [this] { emit handled(programmer_); });
    layout->addWidget(handled_, 0, Qt::AlignLeft);

    counts_ = new QLabel(this);
    counts_->setObjectName("counts");
    layout->addWidget(counts_);
    lines_ = new QLabel(this);
    lines_->setObjectName("lines");
    lines_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Its width is the tile's: the lines are cut to it, not the tile to them.
    lines_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lines_->setMinimumHeight(textLinesHeight(*lines_, static_cast<int>(kRecentLines)));
    layout->addWidget(lines_, 1);
    refresh();
}

void StationTile::showPorts(const std::vector<std::string>& ports) {
    QString title = fillIn(txt().tileTitle, {QString::number(programmer_)});
    QStringList names;
    for (const std::string& port : ports) names << QString::fromStdString(port);
    if (!names.isEmpty()) title += "  (" + names.join(", ") + ")";
    heading_->setText(title);
}

void StationTile::seated(bool seated) {
    seated_ = seated;
    before_ = Verdict::none;
    // Taken out: the verdict was acted on.
    if (!seated) verdict_ = Verdict::none;
    refresh();
}

void StationTile::unitStarted(std::optional<std::uint64_t> serial) {
    serial_ = serial;
    running_ = true;
    verdict_ = Verdict::none;
    before_ = Verdict::none;
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
    verdict_ = passed ? Verdict::pass : Verdict::fail;
    refresh();
}

bool StationTile::unplugged() {
    attached_ = false;
    running_ = false;
    refresh();
    return seated_ || verdict_ != Verdict::none;
}

void StationTile::pluggedIn(const std::vector<std::string>& ports) {
    attached_ = true;
    seated_ = false;
    before_ = verdict_;
    verdict_ = Verdict::none;
    showPorts(ports);
    refresh();
}

void StationTile::kept() {
    seated_ = true;
    verdict_ = before_;
    before_ = Verdict::none;
    refresh();
}

void StationTile::restoreCounts(unsigned units, unsigned passed) {
    units_ = units;
    passed_ = passed;
    refresh();
}

QString StationTile::state() const {
    const Texts& t = txt();
    if (running_) return phaseText(phase_, percent_);
    if (verdict_ == Verdict::pass) return fillIn(t.tilePass);
    if (verdict_ == Verdict::fail) return fillIn(t.tileFail);
    return fillIn(seated_ ? t.tileSeated : t.tileNoModule);
}

QString StationTile::hint() const {
    const Texts& t = txt();
    // A module whose programmer went is put aside, whatever it showed.
    if (!attached_)
        return fillIn(t.tileUnplugged) + " " +
               fillIn(verdict_ == Verdict::pass ? t.tileAfterPass : t.tileAfterFail);
    if (running_) return fillIn(t.tileBusy);
    if (verdict_ == Verdict::pass) return fillIn(t.tileAfterPass);
    if (verdict_ == Verdict::fail) return fillIn(t.tileAfterFail);
    return fillIn(seated_ ? t.tileSeatedIdle : t.tileEmpty);
}

QString StationTile::counts() const {
    const QString counts = fillIn(txt().tileCounts, {QString::number(units_), QString::number(passed_),
                                                     QString::number(units_ - passed_)});
    return serial_ ? fillIn(txt().tileSerial, {counts, QString::number(*serial_)}) : counts;
}

void StationTile::refresh() {
    // Colours a person tells apart from a metre away: green for a pass, red
    // for a failure, amber while a unit runs, grey while the socket is empty.
    QString background = "#9e9e9e", foreground = "#000000";
    if (running_) background = "#ffb300";
    else if (verdict_ == Verdict::pass) background = "#2e7d32", foreground = "#ffffff";
    else if (verdict_ == Verdict::fail) background = "#c62828", foreground = "#ffffff";
    else if (seated_) background = "#90caf9";
    state_->setText(state());
    state_->setStyleSheet(QString("QLabel { background: %1; color: %2; padding: 6px; }")
                              .arg(background, foreground));
    hint_->setText(hint());
    hint_->setStyleSheet(attached_ ? QString() : QString("QLabel { color: #c62828; }"));
    handled_->setVisible(!attached_);
    counts_->setText(counts());
    showLines();
}

// The unit's last lines, each cut in its middle to the tile's width (a
// long path would otherwise widen every tile), whole in the tooltip.
void StationTile::showLines() {
    QStringList whole, shown;
    const QFontMetrics metrics(lines_->font());
    const int room = qMax(lines_->contentsRect().width(), metrics.averageCharWidth() * 16);
    for (const std::string& l : recent_) {
        whole << QString::fromStdString(l);
        shown << metrics.elidedText(whole.back(), Qt::ElideMiddle, room);
    }
    lines_->setText(shown.join("\n"));
    lines_->setToolTip(whole.join("\n"));
}

void StationTile::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    showLines();
}
