#include "desktop/station_board.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <filesystem>

#include "app/flash_size.h"
#include "desktop/station_tile.h"
#include "station/production.h"
#include "station/production_start.h"
#include "station/station.h"

namespace {

constexpr int kColumns = 2;
// How long a closing board waits for its station's running units.
constexpr auto kCloseBound = std::chrono::seconds(5);

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

// The engine's observer: each event goes to the board as a queued call on
// the GUI thread, in the order the ledger gave them.
class StationBoard::Relay final : public StationObserver {
public:
    explicit Relay(StationBoard& board) : board_(&board) {}

    // The board goes: nothing more reaches it.
    void detach() {
        std::lock_guard<std::mutex> guard(lock_);
        board_ = nullptr;
    }
    void stationEnded() {
        post([this] { board_->finished(); });
    }

    void programmerAdded(unsigned programmer, const std::vector<std::string>& ports) override {
        post([=, this] { board_->programmerAdded(programmer, ports); });
    }
    void programmerRemoved(unsigned programmer) override {
        post([=, this] { board_->programmerRemoved(programmer); });
    }
    void moduleSeated(unsigned programmer, std::uint32_t) override {
        onTile(programmer, [](StationTile& tile) { tile.seated(true); });
    }
    void moduleTakenOut(unsigned programmer) override {
        onTile(programmer, [](StationTile& tile) { tile.seated(false); });
    }
    void unitStarted(const UnitRecord& unit) override {
        onTile(unit.programmer, [](StationTile& tile) { tile.unitStarted(); });
    }
    void unitLine(unsigned programmer, const std::string& line) override {
        onTile(programmer, [line](StationTile& tile) { tile.line(line); });
    }
    void unitProgress(unsigned programmer, UnitPhase phase, int percent) override {
        onTile(programmer, [=](StationTile& tile) { tile.progress(phase, percent); });
    }
    void unitEnded(const UnitRecord& unit, bool recorded) override {
        post([=, this] { board_->unitEnded(unit, recorded); });
    }

private:
    // Queued on the board's thread; a call still queued when the board goes
    // is dropped with it.
    template <typename F>
    void post(F call) {
        std::lock_guard<std::mutex> guard(lock_);
        if (board_ != nullptr) QMetaObject::invokeMethod(board_, std::move(call), Qt::QueuedConnection);
    }
    template <typename F>
    void onTile(unsigned programmer, F call) {
        post([=, this] {
            if (StationTile* tile = board_->tile(programmer)) call(*tile);
        });
    }
    std::mutex lock_;
    StationBoard* board_;
};

// A running station: what its thread uses, kept alive by that thread too,
// and its end.
struct StationBoard::Engine {
    std::unique_ptr<Relay> relay;
    std::unique_ptr<Production> production;
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
};

StationBoard::StationBoard(std::string programPath, QWidget* parent)
    : QWidget(parent, Qt::Window), programPath_(std::move(programPath)) {
    setObjectName("stationBoard");
    setWindowTitle("Station");
    auto* layout = new QVBoxLayout(this);

    auto* fields = new QFormLayout;
    image_ = new QLineEdit(this);
    image_->setObjectName("image");
    size_ = new QComboBox(this);
    size_->setObjectName("size");
    for (const FlashSizeEntry& entry : FlashSizeTable) size_->addItem(entry.label);
    size_->setCurrentIndex(kDefaultFlashSizeIndex);
    log_ = new QLineEdit(this);
    log_->setObjectName("log");
    checksum_ = new QLineEdit(this);
    checksum_->setObjectName("checksum");
    checksum_->setPlaceholderText("any (e.g. 0x1F2E3D)");
    fields->addRow("Image:", image_);
    fields->addRow("Flash size:", size_);
    fields->addRow("Audit log:", log_);
    fields->addRow("Expected checksum:", checksum_);
    layout->addLayout(fields);

    auto* buttons = new QHBoxLayout;
    start_ = new QPushButton("Start", this);
    start_->setObjectName("start");
    stop_ = new QPushButton("Stop", this);
    stop_->setObjectName("stop");
    stop_->setEnabled(false);
    buttons->addWidget(start_);
    buttons->addWidget(stop_);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(start_, &QPushButton::clicked, this, [this] { start(); });
    connect(stop_, &QPushButton::clicked, this, [this] { stop(); });

    totals_ = new QLabel(this);
    totals_->setObjectName("totals");
    QFont large = totals_->font();
    large.setPointSizeF(large.pointSizeF() * 1.4);
    large.setBold(true);
    totals_->setFont(large);
    layout->addWidget(totals_);
    status_ = new QLabel(this);
    status_->setObjectName("status");
    status_->setWordWrap(true);
    layout->addWidget(status_);

    grid_ = new QGridLayout;
    layout->addLayout(grid_, 1);
    showTotals();
    // Units per hour move with the clock.
    auto* clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, [this] { showTotals(); });
    clock->start(1000);
}

StationBoard::~StationBoard() {
    if (!engine_) return;
    engine_->relay->detach();
    engine_->production->stopRunning();
    std::unique_lock<std::mutex> guard(engine_->lock);
    if (engine_->ended.wait_for(guard, kCloseBound, [this] { return engine_->done; })) {
        guard.unlock();
        engineThread_.join();
    } else {
        guard.unlock();
        engineThread_.detach();
    }
}

void StationBoard::setImage(const QString& path) { image_->setText(path); }
void StationBoard::setLog(const QString& path) { log_->setText(path); }
void StationBoard::setSize(int sizeIndex) { size_->setCurrentIndex(sizeIndex); }
void StationBoard::setExpectedChecksum(const QString& text) { checksum_->setText(text); }

void StationBoard::fail(const QString& reason) { status_->setText(reason); }

bool StationBoard::start() {
    if (engine_) return false;
    const std::string file = image_->text().toStdString();
    if (file.empty()) return fail("Choose the image to program."), false;

    std::optional<std::uint64_t> expected;
    const QString wanted = checksum_->text().trimmed();
    if (!wanted.isEmpty()) {
        bool ok = false;
        expected = wanted.toULongLong(&ok, 16);
        if (!ok) return fail("The expected checksum is not a hexadecimal number."), false;
    }
    Job job;
    job.sizeIndex = size_->currentIndex();
    ProductionSetup setup;
    setup.job = job;
    setup.command = "station";
    setup.version = VM_VERSION;
    setup.imageFile = file;
    setup.imageName = std::filesystem::path(file).filename().string();
    setup.logPath = log_->text().toStdString();
    setup.expectedChecksum = expected;
    setup.keepUnits = false;  // the board shows the tally
    auto relay = std::make_unique<Relay>(*this);
    QStringList loadLines;
    ProductionStart started = startProduction(setup, programPath_, *relay, [&](const std::string& line) {
        loadLines << QString::fromStdString(line);
    });
    switch (started.refusal) {
        case ProductionRefusal::none:
        case ProductionRefusal::noHid: break;
        case ProductionRefusal::auditLog:
            return fail(QString::fromStdString(setup.logPath + ": the audit log can't be opened: " +
                                               started.error)),
                   false;
        case ProductionRefusal::image: return fail(loadLines.join("\n")), false;
        case ProductionRefusal::checksum:
            return fail(QString("%1 has the checksum 0x%2, not the expected 0x%3: nothing started")
                            .arg(QString::fromStdString(file))
                            .arg(started.checksum, 0, 16)
                            .arg(*expected, 0, 16)
                            .toUpper()
                            .replace("0X", "0x")),
                   false;
    }
    const LoadedImage image = started.image;

    for (auto& [programmer, tile] : tiles_) delete tile;
    tiles_.clear();
    units_ = passed_ = 0;
    started_ = now();
    auto engine = std::make_shared<Engine>();
    engine->relay = std::move(relay);
    engine->production = std::move(started.production);
    engine_ = engine;
    status_->setText(loadLines.join("\n"));
    start_->setEnabled(false);
    stop_->setEnabled(true);
    image_->setEnabled(false);
    size_->setEnabled(false);
    log_->setEnabled(false);
    checksum_->setEnabled(false);
    engineThread_ = std::thread([engine, programPath = programPath_, image] {
        runStationLoop(programPath, image, *engine->production, {});
        engine->relay->stationEnded();
        std::lock_guard<std::mutex> guard(engine->lock);
        engine->done = true;
        engine->ended.notify_all();
    });
    showTotals();
    return true;
}

void StationBoard::stop() {
    if (!engine_) return;
    engine_->production->stopTaking();
    stop_->setEnabled(false);
    status_->setText("No new modules; the running units finish.");
}

void StationBoard::finished() {
    // The station's thread has ended its loop; the join waits for its last
    // few steps.
    if (engineThread_.joinable()) engineThread_.join();
    engine_.reset();
    start_->setEnabled(true);
    stop_->setEnabled(false);
    image_->setEnabled(true);
    size_->setEnabled(true);
    log_->setEnabled(true);
    checksum_->setEnabled(true);
    status_->setText("The station has stopped.");
    showTotals();
}

StationTile* StationBoard::tile(unsigned programmer) const {
    auto found = tiles_.find(programmer);
    return found == tiles_.end() ? nullptr : found->second;
}

void StationBoard::programmerAdded(unsigned programmer, const std::vector<std::string>& ports) {
    delete tile(programmer);
    tiles_[programmer] = new StationTile(programmer, ports, this);
    // The tiles in the programmers' order.
    int at = 0;
    for (auto& [number, tile] : tiles_) {
        grid_->removeWidget(tile);
        grid_->addWidget(tile, at / kColumns, at % kColumns);
        ++at;
    }
}

void StationBoard::programmerRemoved(unsigned programmer) {
    auto found = tiles_.find(programmer);
    if (found == tiles_.end()) return;
    delete found->second;
    tiles_.erase(found);
}

void StationBoard::unitEnded(const UnitRecord& unit, bool recorded) {
    ++units_;
    if (unit.passed) ++passed_;
    if (StationTile* t = tile(unit.programmer)) t->ended(unit.passed);
    if (!recorded)
        status_->setText(QString("The audit record of unit %1 could not be written.").arg(unit.unit));
    showTotals();
}

QString StationBoard::totals() const { return totals_->text(); }
QString StationBoard::status() const { return status_->text(); }

void StationBoard::showTotals() {
    const double seconds = started_ > 0 ? now() - started_ : 0;
    const double yield = units_ ? 100.0 * passed_ / units_ : 0.0;
    const double perHour = seconds > 0 ? units_ * 3600.0 / seconds : 0.0;
    totals_->setText(QString("%1 units, %2 passed, %3 failed, yield %4%, %5 units/hour")
                         .arg(units_)
                         .arg(passed_)
                         .arg(units_ - passed_)
                         .arg(yield, 0, 'f', 1)
                         .arg(perHour, 0, 'f', 1));
}
