// A station's metrics for Prometheus: one registry per station, counted as
// its units end (cheap: the client library's atomics) and rendered in the
// text format on each scrape.
//   vm612k_units_total{programmer,result}  counter, result "pass" or "fail"
//   vm612k_unit_seconds                    histogram of the units' own times
//   vm612k_programmers_present             gauge
//   vm612k_modules_seated                  gauge
//   vm612k_serial_numbers_left             gauge, only in a run with serial numbers
//   vm612k_run_info{station,run,job}       gauge, always 1
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>

#include "station/unit_report.h"

namespace vmweb {

class StationMetrics {
public:
    StationMetrics();

    // Once, before the first scrape: the run's info, and the gauge of the
    // numbers left when the run has serial numbers.
    void begin(const JobFacts& facts, bool withSerials);
    // The programmer's counters, at 0 until its first unit ends.
    void programmerSeen(unsigned programmer);
    void unitEnded(unsigned programmer, bool passed, double seconds);
    void setPresent(std::size_t programmers);
    void setSeated(std::size_t modules);

    // The text format; `serialsLeft` is set on its gauge first.
    std::string text(std::optional<std::uint64_t> serialsLeft) const;

private:
    struct Counts {
        prometheus::Counter* pass;
        prometheus::Counter* fail;
    };
    std::shared_ptr<prometheus::Registry> registry_;
    prometheus::Family<prometheus::Counter>& units_;
    prometheus::Histogram& unitSeconds_;
    prometheus::Gauge& present_;
    prometheus::Gauge& seated_;
    prometheus::Gauge* serialsLeft_ = nullptr;
    std::map<unsigned, Counts> counts_;
};

}  // namespace vmweb
