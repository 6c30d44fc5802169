#include "web/station_metrics.h"

#include <prometheus/text_serializer.h>

namespace vmweb {

namespace {

// A unit takes from half a second (a small image, no erase) to minutes (a
// full 16 MB erase, program and verify).
const prometheus::Histogram::BucketBoundaries unitBuckets = {0.5, 1,  2,  3,  5,  7.5, 10,  15,
                                                             20,  30, 45, 60, 90, 120, 180, 300};

prometheus::Gauge& plainGauge(prometheus::Registry& registry, const std::string& name, const std::string& help) {
    return prometheus::BuildGauge().Name(name).Help(help).Register(registry).Add({});
}

}  // namespace

StationMetrics::StationMetrics()
    : registry_(std::make_shared<prometheus::Registry>()),
      units_(prometheus::BuildCounter()
                 .Name("vm612k_units_total")
                 .Help("Units ended, by programmer and result")
                 .Register(*registry_)),
      unitSeconds_(prometheus::BuildHistogram()
                       .Name("vm612k_unit_seconds")
                       .Help("Seconds of each unit, from its start to its end")
                       .Register(*registry_)
                       .Add({}, unitBuckets)),
      present_(plainGauge(*registry_, "vm612k_programmers_present", "Programmers on the bus")),
      seated_(plainGauge(*registry_, "vm612k_modules_seated", "Programmers with a module seated")) {}

void StationMetrics::begin(const JobFacts& facts, bool withSerials) {
    std::string job = facts.jobStamp ? facts.jobStamp->name : "";
    prometheus::BuildGauge()
        .Name("vm612k_run_info")
        .Help("The station's run: its station, run id and job, as labels")
        .Register(*registry_)
        .Add({{"station", facts.station}, {"run", facts.run}, {"job", job}})
        .Set(1);
    if (withSerials) {
        serialsLeft_ = &plainGauge(*registry_, "vm612k_serial_numbers_left", "Serial numbers not handed out yet");
    }
}

void StationMetrics::programmerSeen(unsigned programmer) {
    if (counts_.count(programmer) != 0) {
        return;
    }
    std::string label = std::to_string(programmer);
    counts_[programmer] = {&units_.Add({{"programmer", label}, {"result", "pass"}}),
                           &units_.Add({{"programmer", label}, {"result", "fail"}})};
}

void StationMetrics::unitEnded(unsigned programmer, bool passed, double seconds) {
    programmerSeen(programmer);
    Counts& counts = counts_[programmer];
    (passed ? counts.pass : counts.fail)->Increment();
    unitSeconds_.Observe(seconds);
}

void StationMetrics::setPresent(std::size_t programmers) { present_.Set(static_cast<double>(programmers)); }

void StationMetrics::setSeated(std::size_t modules) { seated_.Set(static_cast<double>(modules)); }

std::string StationMetrics::text(std::optional<std::uint64_t> serialsLeft) const {
    if (serialsLeft_ != nullptr && serialsLeft) {
        serialsLeft_->Set(static_cast<double>(*serialsLeft));
    }
    return prometheus::TextSerializer().Serialize(registry_->Collect());
}

}  // namespace vmweb
