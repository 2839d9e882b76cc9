#pragma once

// The figures of a bench as the regression guard reads them: each one a row of a markdown table
// with its value, its goal, the verdict ("ok" or "over") and the baseline measured in the same
// run. tools/bench.sh runs every bench and gathers these rows into one table; a new figure is
// one Report() call.
//
//   | bench | figure | value | goal | verdict | baseline, same run |
//
// Goals are upper bounds: a time, a size, or a multiple of the baseline.

#include <cmath>
#include <cstdio>
#include <string>

namespace varnel::bench {

struct Goal {
    double limit = NAN; // the figure is ok at or below it
    std::string text;   // how the goal reads in the table
};

// The bench's name in the first column; set once at the start of main().
inline std::string& BenchName()
{
    static std::string name = "bench";
    return name;
}

// A value with its unit, three significant digits ("0.842 s", "871 MB", "12.4 ms").
inline std::string Amount(double value, const std::string& unit)
{
    char buffer[64];
    const double magnitude = std::fabs(value);
    const int decimals = magnitude >= 100 ? 0 : magnitude >= 10 ? 1 : magnitude >= 1 ? 2 : 3;
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return unit.empty() ? buffer : std::string(buffer) + " " + unit;
}

// At most limit (in the figure's unit).
inline Goal AtMost(double limit, const std::string& unit)
{
    return {limit, "<= " + Amount(limit, unit)};
}

// At most factor times a baseline measured in the same run.
inline Goal TimesBaseline(double factor, const std::string& baselineName, double baseline,
                          const std::string& unit)
{
    char times[32];
    std::snprintf(times, sizeof times, "%gx", factor);
    return {factor * baseline, "<= " + std::string(times) + " " + baselineName + " = " +
                                   Amount(factor * baseline, unit)};
}

// Prints the table's heading; the rows follow.
inline void Begin(const std::string& bench)
{
    BenchName() = bench;
    std::printf("\n| bench | figure | value | goal | verdict | baseline, same run |\n"
                "|---|---|---|---|---|---|\n");
    std::fflush(stdout);
}

// One figure. A figure that could not be measured (NaN) is "over": the guard must not pass it.
inline bool Report(const std::string& what, double value, const std::string& unit, const Goal& goal,
                   const std::string& baseline = std::string())
{
    const bool ok = !std::isnan(value) && !std::isnan(goal.limit) && value <= goal.limit;
    const std::string shown = std::isnan(value) ? std::string("not measured") : Amount(value, unit);
    std::printf("| %s | %s | %s | %s | %s | %s |\n", BenchName().c_str(), what.c_str(),
                shown.c_str(), goal.text.c_str(), ok ? "ok" : "over", baseline.c_str());
    std::fflush(stdout);
    return ok;
}

} // namespace varnel::bench
