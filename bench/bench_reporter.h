// A console reporter that also keeps each benchmark's figures, so a program can print the ratios
// of its goals after the runs.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace jxbench {

class CFigureReporter : public benchmark::ConsoleReporter {
public:
    CFigureReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
            auto found = run.counters.find("bytes_per_second");
            if (found != run.counters.end())
                m_rates[run.benchmark_name()] = found->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // The real time per iteration (in the benchmark's unit) of the first benchmark whose name
    // begins with the text; 0 when none ran.
    double Time(const std::string& name) const { return Find(m_times, name); }
    // Its bytes per second; 0 when none ran or it counted no bytes.
    double Rate(const std::string& name) const { return Find(m_rates, name); }

private:
    static double Find(const std::map<std::string, double>& figures, const std::string& name) {
        auto found = figures.lower_bound(name);
        return found != figures.end() && found->first.starts_with(name) ? found->second : 0.0;
    }

    std::map<std::string, double> m_times;
    std::map<std::string, double> m_rates;
};

} // namespace jxbench
