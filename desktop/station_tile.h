// One programmer on the station board: its ports, its state in large text
// on a colour seen from across the bench, what the operator does next, its
// counts, and the last lines of its current unit. A tile outlives its
// programmer while the module in its socket still needs the operator (a
// verdict not yet acted on, a module still seated): it then says so and
// offers a button to clear it once the module is handled.
#pragma once

#include <QFrame>

#include <deque>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "station/observer.h"

class QLabel;
class QPushButton;

class StationTile final : public QFrame {
    Q_OBJECT

public:
    StationTile(unsigned programmer, const std::vector<std::string>& ports, QWidget* parent = nullptr);

    void seated(bool seated);
    // `serial`: the unit's serial number, when the run has them.
    void unitStarted(std::optional<std::uint64_t> serial = std::nullopt);
    void progress(UnitPhase phase, int percent);
    void line(const std::string& text);
    void ended(bool passed);
    // The programmer went off the bus; false when nothing in its socket
    // needs the operator, so the tile may go.
    bool unplugged();
    // The programmer is back: the station senses its socket anew. Until it
    // has, the socket shows empty; the verdict of the module it had waits.
    void pluggedIn(const std::vector<std::string>& ports);
    // Back on the bus with the module that had its unit: its verdict again.
    void kept();
    // The counts of a tile this programmer had before in the run.
    void restoreCounts(unsigned units, unsigned passed);
    bool attached() const { return attached_; }

    // The state as the tile shows it: "no module", "erasing", "PASS", ...
    QString state() const;
    // What the operator does next.
    QString hint() const;
    QString counts() const;

signals:
    // The operator has dealt with the module of an unplugged programmer.
    void handled(unsigned programmer);

private:
    enum class Verdict { none, pass, fail };
    void refresh();
    void showLines();
    void resizeEvent(QResizeEvent* event) override;
    void showPorts(const std::vector<std::string>& ports);

    const unsigned programmer_;
    QLabel* heading_ = nullptr;
    QLabel* state_ = nullptr;
    QLabel* hint_ = nullptr;
    QLabel* counts_ = nullptr;
    QLabel* lines_ = nullptr;
    QPushButton* handled_ = nullptr;
    bool attached_ = true;
    bool seated_ = false;
    bool running_ = false;
    UnitPhase phase_ = UnitPhase::idle;
    int percent_ = 0;
    unsigned units_ = 0;
    std::optional<std::uint64_t> serial_;  // the running or last unit's
    unsigned passed_ = 0;
    Verdict verdict_ = Verdict::none;
    Verdict before_ = Verdict::none;  // the verdict a replug put aside
    std::deque<std::string> recent_;
};

// The height `lines` lines of text take in `widget`'s font, Latin or
// Chinese (whose glyphs come from a taller fallback font).
int textLinesHeight(const QWidget& widget, int lines);
