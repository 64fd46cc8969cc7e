#pragma once

// Runs the registered benchmarks with Google Benchmark's console output,
// keeps every repetition's figure, and afterwards prints one line per
// comparison:
//
//     ratio apply-vs-decode 1.07 goal <= 1.2
//
// Each figure is the median over the repetitions, so a stray slow run on a
// busy machine does not decide a ratio. Benchmarks of a pair should be run
// with repetitions and random interleaving (see runBenchmarks).

#include <optional>
#include <string>
#include <vector>

namespace bench {

struct Comparison
{
    std::string name;
    std::string numerator;   // benchmark names as registered
    std::string denominator;
    std::optional<double> goal; // at most this; none for figures kept for reference
};

// A figure that is not a ratio (a counter difference, for example) with
// its goal, computed once the runs are in.
struct Figure
{
    std::string name;
    double value;
    std::optional<double> goal;
};

class Results
{
public:
    // Median time per iteration in seconds, or NaN if the benchmark did not
    // run (NaN also marks a figure as missing when printed).
    double medianSeconds(const std::string &benchmark) const;
    // Median of a user counter over the repetitions.
    double medianCounter(const std::string &benchmark, const std::string &counter) const;

    struct Sample
    {
        std::string benchmark;
        double seconds;
        std::vector<std::pair<std::string, double>> counters;
    };
    std::vector<Sample> samples;
};

// Initializes Google Benchmark from the command line, with defaults of
// `repetitions` repetitions in random interleaving unless the command line
// says otherwise, runs everything registered and returns the samples.
Results runBenchmarks(int *argc, char **argv, int repetitions);

void printRatios(const Results &results, const std::vector<Comparison> &comparisons);
void printFigure(const Figure &figure);

} // namespace bench
