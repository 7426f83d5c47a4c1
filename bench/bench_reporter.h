#pragma once
// Every benchmark's mean real time per iteration, in microseconds, and its counters, kept by name for the
// comparison table a benchmark program prints after its run. Names lose Google Benchmark's "/iterations:N".

#include <benchmark/benchmark.h>

#include <map>
#include <string>

class TimesReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> us;
    std::map<std::string, double> counters;  // by the counter's own name

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.error_occurred || r.iterations <= 0)
                continue;
            const std::string name = r.benchmark_name().substr(0, r.benchmark_name().find("/iterations"));
            us[name] = r.real_accumulated_time / double(r.iterations) * 1e6;
            for (const auto& [n, c] : r.counters)
                counters[n] = c.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};
