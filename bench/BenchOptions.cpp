// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/BenchOptions.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace pemberlock::bench {
namespace {

constexpr const char* kUsage =
    "usage: pemberlock-bench [--files N] [--runs N] [--big-mb N] [--seed N]\n"
    "                        [--startups N] [--compare-files N] [--large-files N] [--only LIST] "
    "[--dir FOLDER]\n"
    "                        [--no-window]\n";

constexpr const char* kDescription =
    "Times how close rewriting a whole library of generated patches comes to what the\n"
    "machine allows, and prints the medians of the timed runs.";

const std::set<std::string> kMeasures = {"1", "2", "3",  "4",  "5",      "6",
                                         "7", "9", "10", "11", "startup"};

// The measures in a comma-separated list; nullopt when one is unknown.
std::optional<std::set<std::string>> MeasureList(const std::string& list) {
    std::set<std::string> measures;
    std::istringstream in(list);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (kMeasures.count(item) == 0) return std::nullopt;
        measures.insert(item);
    }
    return measures;
}

// Decimal digits only: CLI11 would take "-1" for a huge unsigned number and
// "010" for an octal 8. Leading zeros go, so that the rest reads as decimal.
const CLI::Validator kWholeNumber(
    [](std::string& text) -> std::string {
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
            return "not a whole number: " + text;
        }
        text.erase(0, std::min(text.find_first_not_of('0'), text.size() - 1));
        return {};
    },
    "");

const CLI::Validator kMeasureList(
    [](std::string& text) -> std::string {
        return MeasureList(text) ? "" : "not a list of 1 2 3 4 5 6 7 9 10 11 startup: " + text;
    },
    "");

void AddNumbers(CLI::App& app, Options& options) {
    app.add_option("--files", options.files, "patches in the generated library (default 10000)");
    app.add_option("--runs", options.runs,
                   "timed runs per measure; medians are printed (default 5, at least 1)");
    app.add_option("--big-mb", options.bigMegabytes,
                   "size of the huge patch for the memory measure (default 200)");
    app.add_option("--seed", options.seed, "seed of the generated patches (default 1)");
    app.add_option("--startups", options.startups, "window start-ups to time (default 10)");
    app.add_option("--compare-files", options.compareFiles,
                   "patches for the limit with a folder fsync (default 1000)");
    app.add_option("--large-files", options.largeFiles,
                   "patches of the large library, measure 9 (default 100000)");
    for (CLI::Option* option : app.get_options()) {
        if (option->get_name() != "--help") option->type_name("N")->transform(kWholeNumber);
    }
}

}  // namespace

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::ostream& out,
                                    std::ostream& err, int& status) {
    Options options;
    const char* tmp = std::getenv("TMPDIR");
    options.folder = tmp && *tmp ? tmp : "/tmp";
    std::string only;
    bool noWindow = false;

    CLI::App app{kDescription, "pemberlock-bench"};
    // As with most commands, an option given twice counts as given last.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    AddNumbers(app, options);
    app.add_option("--dir", options.folder,
                   "where to make the temporary folder (default $TMPDIR or /tmp)")
        ->type_name("FOLDER");
    CLI::Option* onlyOption =
        app.add_option(
               "--only", only,
               "run only these of 1 2 3 4 5 6 7 9 10 11 startup, e.g. 1,2 or 9 (default all but 9)")
            ->type_name("LIST")
            ->check(kMeasureList);
    app.add_flag("--no-window", noWindow, "skip the window drop, its report and the start-up");
    try {
        // CLI11 takes the arguments last first.
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
    } catch (const CLI::ParseError& e) {
        status = app.exit(e, out, err) == 0 ? 0 : 2;
        if (status != 0) err << kUsage;
        return std::nullopt;
    }
    options.window = !noWindow;
    if (*onlyOption) options.only = *MeasureList(only);
    options.runs = std::max(1, options.runs);
    options.bigMegabytes = std::max<std::uint64_t>(1, options.bigMegabytes);
    options.compareFiles = std::max<std::size_t>(1, options.compareFiles);
    return options;
}

}  // namespace pemberlock::bench
