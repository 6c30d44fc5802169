#include "desktop/station_board.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "app/flash_size.h"
#include "desktop/fill_in.h"
#include "desktop/job_banner.h"
#include "desktop/station_board_relay.h"
#include "desktop/station_checks.h"
#include "desktop/station_fields.h"
#include "desktop/station_job.h"
#include "desktop/station_tile.h"
#include "station/run.h"
#include "texts/texts.h"

namespace {

constexpr int kColumns = 2;
// How long the board, destroyed at the program's end, waits for its
// station's running units.
constexpr auto kCloseBound = std::chrono::seconds(5);
// The status line keeps room for this many lines, so that a longer message
// does not squeeze the tiles.
constexpr int kStatusLines = 3;

// The tiles scroll when the window is made smaller than they are: they are
// never squeezed. The area asks for the room of all of its tiles.
class TilesArea final : public QScrollArea {
public:
    explicit TilesArea(QWidget* parent) : QScrollArea(parent) {
        setWidgetResizable(true);
        setFrameShape(QFrame::NoFrame);
    }
    QSize sizeHint() const override {
        return widget() != nullptr ? widget()->sizeHint() + QSize(2, 2) * frameWidth() : QScrollArea::sizeHint();
    }
};

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

// A running station: what its thread uses, kept alive by that thread too,
// and its end.
struct StationBoard::Engine {
    std::unique_ptr<Relay> relay;
    std::unique_ptr<Run> run;
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    bool closing = false;  // the board was closed: the units were stopped
};

StationBoard::StationBoard(std::string programPath, QWidget* parent)
    : QWidget(parent, Qt::Window), programPath_(std::move(programPath)) {
    setObjectName("stationBoard");
    setWindowTitle(fillIn(txt().boardTitle));
    auto* layout = new QVBoxLayout(this);
    banner_ = new JobBanner(this);
    layout->addWidget(banner_);
    fields_ = new StationFields(this);
    layout->addWidget(fields_);
    buildButtons();

    totals_ = new QLabel(this);
    totals_->setObjectName("totals");
    QFont large = totals_->font();
    large.setPointSizeF(large.pointSizeF() * 1.4);
    large.setBold(true);
    totals_->setFont(large);
    layout->addWidget(totals_);
    // A long message wraps within room kept for it; the whole of it is in
    // the tooltip too, and may be selected and copied.
    status_ = new QLabel(this);
    status_->setObjectName("status");
    status_->setWordWrap(true);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setMinimumHeight(textLinesHeight(*status_, kStatusLines));
    layout->addWidget(status_);

    auto* area = new TilesArea(this);
    tilesArea_ = area;
    auto* tiles = new QWidget(area);
    tiles->setObjectName("tiles");
    grid_ = new QGridLayout(tiles);
    grid_->setContentsMargins(0, 0, 0, 0);
    area->setWidget(tiles);
    layout->addWidget(area, 1);
    showTotals();
    // Units per hour move with the clock.
    auto* clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, [this] { showTotals(); });
    clock->start(1000);
}

void StationBoard::buildButtons() {
    const Texts& t = txt();
    auto* column = static_cast<QVBoxLayout*>(layout());
    auto* buttons = new QHBoxLayout;
    start_ = new QPushButton(fillIn(t.boardStart), this);
    start_->setObjectName("start");
    stop_ = new QPushButton(fillIn(t.boardStop), this);
    stop_->setObjectName("stop");
    stop_->setEnabled(false);
    buttons->addWidget(start_);
    buttons->addWidget(stop_);
    buttons->addStretch(1);
    leaveJob_ = new QPushButton(fillIn(t.boardLeaveJob), this);
    leaveJob_->setObjectName("leaveJob");
    leaveJob_->hide();
    buttons->addWidget(leaveJob_);
    column->addLayout(buttons);
    connect(start_, &QPushButton::clicked, this, [this] { start(); });
    connect(stop_, &QPushButton::clicked, this, [this] { stop(); });
    connect(leaveJob_, &QPushButton::clicked, this, [this] { leaveJob(); });
}

StationBoard::~StationBoard() {
    if (!engine_) return;
    engine_->relay->detach();
    engine_->run->stopRunning();
    std::unique_lock<std::mutex> guard(engine_->lock);
    if (engine_->ended.wait_for(guard, kCloseBound, [this] { return engine_->done; })) {
        guard.unlock();
        engineThread_.join();
    } else {
        guard.unlock();
        engineThread_.detach();
    }
}

void StationBoard::setImage(const QString& path) { fields_->setImage(path); }
void StationBoard::setLog(const QString& path) { fields_->setLog(path); }
void StationBoard::setSize(int sizeIndex) { fields_->setSize(sizeIndex); }
void StationBoard::setTruncate(bool truncate) { fields_->setTruncate(truncate); }
void StationBoard::setExpectedChecksum(const QString& text) { fields_->setExpectedChecksum(text); }

void StationBoard::showStatus(const QString& text) {
    status_->setText(text);
    status_->setToolTip(text);
    keepRoomForStatus();
}

// The status line keeps room for its text as it wraps at the window's
// narrowest, so that made smaller the window squeezes nothing else.
void StationBoard::keepRoomForStatus() {
    layout()->activate();
    const QMargins margins = layout()->contentsMargins();
    const int narrowest = minimumWidth() - margins.left() - margins.right();
    const int lines = textLinesHeight(*status_, kStatusLines);
    status_->setMinimumHeight(narrowest > 0 ? qMax(lines, status_->heightForWidth(narrowest)) : lines);
    banner_->keepRoomAt(narrowest);
}

bool StationBoard::fail(const QString& reason) {
    showStatus(reason);
    return false;
}

// Start needs a job that may run when the board is on one.
void StationBoard::enableFields(bool enable) {
    start_->setEnabled(enable && !banner_->refused());
    leaveJob_->setEnabled(enable);
    fields_->setEditable(enable);
}

bool StationBoard::start() {
    if (engine_) return false;
    const Texts& t = txt();
    if (banner_->refused()) return false;
    const QString file = fields_->image();
    if (file.isEmpty()) return fail(fillIn(t.boardNoImage));
    std::optional<std::uint64_t> expected;
    const QString wanted = fields_->expectedChecksum().trimmed();
    if (!wanted.isEmpty()) {
        bool ok = false;
        expected = wanted.toULongLong(&ok, 16);
        if (!ok) return fail(fillIn(t.boardChecksumNotHex));
    }
    ProductionSetup setup;
    setup.job.sizeIndex = fields_->sizeIndex();
    setup.job.erase = fields_->erase();
    setup.job.eraseIfNeeded = fields_->eraseIfNeeded();
    setup.job.program = fields_->program();
    setup.job.verify = fields_->verify();
    setup.command = "station";
    setup.version = VM_VERSION;
    setup.imageFile = file.toStdString();
    setup.imageName = std::filesystem::path(setup.imageFile).filename().string();
    setup.logPath = fields_->log().toStdString();
    setup.expectedChecksum = expected;
    setup.keepUnits = false;  // the board shows the tally
    if (job_) applyJob(*job_, setup);
    auto relay = std::make_unique<Relay>(*this);
    QStringList loadLines;
    RunRequest request;
    request.setup = setup;
    request.observers.push_back(relay.get());
    Run::Start started = Run::start(std::move(request), programPath_, [&](const std::string& line) {
        loadLines << QString::fromStdString(line);
    });
    switch (started.refusal) {
        case ProductionRefusal::none: break;
        case ProductionRefusal::noHid: return false;  // the board binds the services before
        case ProductionRefusal::auditLog:
            return fail(fillIn(t.boardAuditLogError, {fields_->log(), QString::fromStdString(started.error)}));
        case ProductionRefusal::image:
            if (started.error.empty()) return fail(imageRefusal(file, loadLines));
            // The job's image changed since the job was opened.
            refuseJob(QFileInfo(QString::fromStdString(job_->jobPath)).fileName(),
                      QString::fromStdString(started.error), loadLines.join("  "));
            return false;
        case ProductionRefusal::checksum: return fail(checksumRefusal(file, started.checksum, *expected));
        case ProductionRefusal::serialStore: return fail(QString::fromStdString(started.error));
    }
    // The audit log was opened, but no unit has started: nothing is written.
    const SizeCheck size =
        checkImageSize(file, started.run->image().bytes->size(), setup.job.sizeIndex, fields_->truncate());
    if (size.refused) return fail(size.message);

    // Tiles of programmers that went keep their modules' flags; the others
    // come again with the station's programmers.
    for (auto it = tiles_.begin(); it != tiles_.end();) {
        if (it->second->attached()) {
            delete it->second;
            it = tiles_.erase(it);
        } else {
            ++it;
        }
    }
    placeTiles();
    units_ = passed_ = 0;
    tally_.clear();
    started_ = now();
    auto engine = std::make_shared<Engine>();
    engine->relay = std::move(relay);
    engine->run = std::move(started.run);
    engine_ = engine;
    showStatus((size.message.isEmpty() ? fillIn(t.boardTaking) : size.message) + "\n" + loadLines.join("  "));
    enableFields(false);
    stop_->setEnabled(true);
    engineThread_ = std::thread([engine] {
        engine->run->run();
        {
            std::lock_guard<std::mutex> guard(engine->lock);
            engine->done = true;
        }
        engine->ended.notify_all();
        // The last thing the thread does: the board joins it from here.
        engine->relay->stationEnded();
    });
    showTotals();
    return true;
}

void StationBoard::stop() {
    if (!engine_) return;
    engine_->run->stopTaking();
    stop_->setEnabled(false);
    if (!engine_->closing) showStatus(fillIn(txt().boardStopTaking));
}

void StationBoard::closeEvent(QCloseEvent* event) {
    if (engine_ && !engine_->closing) {
        engine_->closing = true;
        stop();
        engine_->run->stopRunning();
        showStatus(fillIn(txt().boardClosing));
    }
    QWidget::closeEvent(event);
}

void StationBoard::finished() {
    // The station's thread has ended its loop and posted this as its last
    // step: the join waits only for it to return.
    if (engineThread_.joinable()) engineThread_.join();
    engine_.reset();
    enableFields(true);
    stop_->setEnabled(false);
    showStatus(fillIn(txt().boardStopped));
    showTotals();
}

StationTile* StationBoard::tile(unsigned programmer) const {
    auto found = tiles_.find(programmer);
    return found == tiles_.end() ? nullptr : found->second;
}

void StationBoard::programmerAdded(unsigned programmer, const std::vector<std::string>& ports) {
    if (StationTile* known = tile(programmer)) {
        known->pluggedIn(ports);
        return;
    }
    auto* added = new StationTile(programmer, ports, grid_->parentWidget());
    if (auto counted = tally_.find(programmer); counted != tally_.end())
        added->restoreCounts(counted->second.units, counted->second.passed);
    connect(added, &StationTile::handled, this, [this](unsigned number) { removeTile(number); });
    tiles_[programmer] = added;
    // Shown now: a layout shows a widget added to a visible window only
    // later, and until then its room counts for nothing in the window's fit.
    added->show();
    placeTiles();
}

void StationBoard::programmerRemoved(unsigned programmer) {
    // A module left in the socket, or a verdict not acted on, keeps the tile
    // until the operator has handled the module.
    StationTile* gone = tile(programmer);
    if (gone == nullptr) return;
    if (gone->unplugged())
        fitTiles();  // the tile has grown by its button
    else
        removeTile(programmer);
}

void StationBoard::removeTile(unsigned programmer) {
    auto found = tiles_.find(programmer);
    if (found == tiles_.end()) return;
    // Deleted later: the tile's own button may be what asked.
    found->second->hide();
    found->second->deleteLater();
    tiles_.erase(found);
    placeTiles();
}

// The tiles in the programmers' order.
void StationBoard::placeTiles() {
    int at = 0;
    for (auto& [number, tile] : tiles_) {
        grid_->removeWidget(tile);
        grid_->addWidget(tile, at / kColumns, at % kColumns);
        ++at;
    }
    fitTiles();
}

// The window grows to show every tile whole; made smaller by the operator,
// it scrolls them.
void StationBoard::fitTiles() {
    // The area's hint follows its tiles, which it does not watch itself.
    grid_->activate();
    tilesArea_->updateGeometry();
    keepRoomForStatus();
    layout()->activate();
    resize(size().expandedTo(sizeHint()));
}

// A word-wrapped banner makes the layout trade width for height, and its
// hint then stops short of the tiles: they set the least width themselves.
QSize StationBoard::sizeHint() const {
    const QMargins margins = layout()->contentsMargins();
    const int frame = qMax(tilesArea_->sizeHint().width() - grid_->sizeHint().width(), 0);
    const int tiles = qMax(tilesArea_->sizeHint().width(), grid_->totalMinimumSize().width() + frame);
    return QWidget::sizeHint().expandedTo(QSize(tiles + margins.left() + margins.right(), 0));
}

void StationBoard::unitEnded(const UnitRecord& unit, bool recorded) {
    ++units_;
    if (unit.passed) ++passed_;
    Tally& tally = tally_[unit.programmer];
    ++tally.units;
    if (unit.passed) ++tally.passed;
    if (StationTile* t = tile(unit.programmer)) {
        t->ended(unit.passed);
        // Its texts may be wider now; their new sizes count once the
        // layout has taken them in.
        QMetaObject::invokeMethod(this, [this] { fitTiles(); }, Qt::QueuedConnection);
    }
    if (!recorded) showStatus(fillIn(txt().boardNotRecorded, {QString::number(unit.unit)}));
    showTotals();
}

QString StationBoard::totals() const { return totals_->text(); }
QString StationBoard::status() const { return status_->text(); }

void StationBoard::showTotals() {
    const double seconds = started_ > 0 ? now() - started_ : 0;
    const double yield = units_ ? 100.0 * passed_ / units_ : 0.0;
    const double perHour = seconds > 0 ? units_ * 3600.0 / seconds : 0.0;
    QString totals = fillIn(txt().boardTotals,
                            {QString::number(units_), QString::number(passed_), QString::number(units_ - passed_),
                             QString::number(yield, 'f', 1) + "%", QString::number(perHour, 'f', 1)});
    if (const SerialSource* serials = engine_ && engine_->run ? engine_->run->ledger().serials() : nullptr)
        totals = fillIn(txt().boardSerialsLeft, {totals, QString::number(serials->left())});
    totals_->setText(totals);
}
