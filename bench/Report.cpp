// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/Report.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <thread>

namespace pemberlock::bench {
namespace {

struct Row {
    std::string name;
    std::string median;
    std::string spread;
    std::string extra;
    std::string target;
    std::string verdict;
};

using Rows = std::vector<Row>;

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Seconds(double s) { return Format("%.3f s", s); }

std::string Spread(const Stats& stats, double scale, const char* format) {
    return Format(format, stats.min * scale) + " .. " + Format(format, stats.max * scale);
}

// A rate's spread: the slowest run gives the lowest rate.
std::string RateSpread(double megabytes, const Stats& seconds) {
    return Format("%.0f", megabytes / seconds.max) + " .. " +
           Format("%.0f MB/s", megabytes / seconds.min);
}

std::string PerPatch(const char* format, double seconds, double patches) {
    return Format(format, seconds / patches * 1e6);
}

std::string Verdict(bool met) { return met ? "yes" : "NO"; }

void AddTimeRow(Rows& rows, const std::string& name, const std::vector<double>& seconds, double n,
                const char* note) {
    const Stats stats = Summarize(seconds);
    rows.push_back({name, Seconds(stats.median), Spread(stats, 1, "%.3f"),
                    PerPatch("%.0f us/patch", stats.median, n), "", note});
}

// The core's way (several threads, groups made durable by one sync) against
// the old one, and the program a user runs.
void AddCoreWays(Rows& rows, const FileRuns& runs, double n) {
    AddTimeRow(rows, "  the same, one patch at a time, each flushed", runs.coreSerial, n,
               "(for comparison)");
    AddTimeRow(rows, "1c pemberlock-cli --recursive (a process)", runs.cli, n, "");
    AddTimeRow(rows, "8 pemberlock-cli --undo of that drop", runs.cliUndo, n, "");
}

// What the disk allows beyond one patch at a time.
void AddLimitWays(Rows& rows, const FileRuns& runs, double n) {
    AddTimeRow(rows, "  limit, 4 in parallel on quarters", runs.limitParallel, n,
               "(for comparison)");
    AddTimeRow(rows, "  limit, 4 in parallel, 64 to one syncfs", runs.limitGrouped, n,
               "(for comparison)");
    AddTimeRow(rows, "  unsafe floor: read, write, rename, no sync", runs.unsafeFloor, n,
               "(for comparison)");
}

void AddFileRows(Rows& rows, const Options& options, const FileRuns& runs, double n) {
    if (options.Chosen("1")) {
        const Stats core = Summarize(runs.core);
        rows.push_back({"1 core drop (RunPatchDrop: threads, groups)", Seconds(core.median),
                        Spread(core, 1, "%.3f"), PerPatch("%.0f us/patch", core.median, n), "",
                        ""});
    }
    if (options.Chosen("1")) AddCoreWays(rows, runs, n);
    if (options.Chosen("2")) {
        const Stats limit = Summarize(runs.limit);
        const Stats synced = Summarize(runs.limitSyncedPerPatch);
        const double compared = static_cast<double>(runs.compared);
        rows.push_back({"2 limit: read, write temp, fsync, close, rename", Seconds(limit.median),
                        Spread(limit, 1, "%.3f"), PerPatch("%.0f us/patch", limit.median, n), "",
                        ""});
        rows.push_back({Format("  limit + folder fsync, first %.0f patches", compared),
                        Seconds(synced.median * compared), Spread(synced, compared, "%.3f"),
                        PerPatch("%.0f us/patch", synced.median, 1), "", "(for comparison)"});
        AddLimitWays(rows, runs, n);
    }
    if (options.Chosen("6")) {
        const Stats journal = Summarize(runs.journal);
        rows.push_back({"6 drop batch with the undo journal (as the cli)", Seconds(journal.median),
                        Spread(journal, 1, "%.3f"), PerPatch("%.0f us/patch", journal.median, n),
                        "", ""});
    }
}

void AddMemoryRows(Rows& rows, const MemoryRuns& runs, double libraryMb) {
    const Stats rewrite = Summarize(runs.rewrite);
    const Stats streaming = Summarize(runs.streaming);
    const double rate = libraryMb / rewrite.median;
    rows.push_back({"3 rewrite in memory (RewritePatchText)", Format("%.0f MB/s", rate),
                    RateSpread(libraryMb, rewrite), "one core", ">= 300 MB/s",
                    Verdict(rate >= 300)});
    rows.push_back({"  PatchRewriter into a reused buffer",
                    Format("%.0f MB/s", libraryMb / streaming.median),
                    RateSpread(libraryMb, streaming), "one core", "", "(for comparison)"});
}

void AddWindowRows(Rows& rows, const FileRuns& runs, double n) {
    if (runs.drops.empty()) {
        rows.push_back({"4 window drop (offscreen, status box)", "-", "", runs.windowWhy, "", ""});
        return;
    }
    const Stats drop = Summarize(runs.drops);
    rows.push_back({"4 window drop (offscreen, status box)", Seconds(drop.median),
                    Spread(drop, 1, "%.3f"), PerPatch("%.0f us/patch", drop.median, n), "", ""});
    const double blocked = *std::max_element(runs.blocked.begin(), runs.blocked.end());
    rows.push_back({"  window's event loop blocked, longest", Format("%.0f ms", blocked * 1000), "",
                    "the worst of all drops", "< 100 ms", Verdict(blocked < 0.1)});
    if (runs.logOnlyDrops.empty()) return;
    const Stats drop0 = Summarize(runs.logOnlyDrops);
    const Stats core0 = Summarize(runs.logOnlyCore);
    rows.push_back({"  window drop, log only (no file work)", Seconds(drop0.median),
                    Spread(drop0, 1, "%.3f"), PerPatch("%.1f us/patch", drop0.median, n), "",
                    "(for comparison)"});
    rows.push_back({"  core batch, log only (no file work)", Seconds(core0.median),
                    Spread(core0, 1, "%.3f"), PerPatch("%.1f us/patch", core0.median, n), "",
                    "(for comparison)"});
}

void AddReportRows(Rows& rows, const FileRuns& runs, double n) {
    if (runs.reportOpens.empty()) {
        rows.push_back({"7 Last Drop Report, until painted", "-", "", runs.reportWhy, "", ""});
        return;
    }
    const Stats open = Summarize(runs.reportOpens);
    rows.push_back({Format("7 Last Drop Report, until painted (%.0f rows)",
                           static_cast<double>(runs.reportRows)),
                    Format("%.0f ms", open.median * 1000), Spread(open, 1000, "%.0f"),
                    "after a window drop", "<= 200 ms", Verdict(open.median <= 0.2)});
    const double perPatch = static_cast<double>(runs.reportBytes) / n;
    rows.push_back({"  the report the window keeps, per patch", Format("%.0f bytes", perPatch), "",
                    Format("%.2f MB in all", static_cast<double>(runs.reportBytes) / 1e6),
                    "<= 300 bytes", Verdict(perPatch <= 300)});
}

void AddPreviewRows(Rows& rows, const FileRuns& runs, double n) {
    if (runs.previews.empty()) {
        rows.push_back({"11 window Preview Folder…", "-", "", runs.previewWhy, "", ""});
        return;
    }
    const Stats preview = Summarize(runs.previews);
    rows.push_back(
        {Format("11 window Preview Folder… (%.0f rows)", static_cast<double>(runs.previewRows)),
         Seconds(preview.median), Spread(preview, 1, "%.3f"),
         PerPatch("%.0f us/patch", preview.median, n), "", ""});
    const double blocked =
        *std::max_element(runs.previewBlocked.begin(), runs.previewBlocked.end());
    rows.push_back({"  window's event loop blocked, longest", Format("%.0f ms", blocked * 1000), "",
                    "the worst of all previews", "< 100 ms", Verdict(blocked < 0.1)});
    rows.push_back({"  what the preview shown holds, per patch",
                    Format("%.0f bytes", static_cast<double>(runs.previewBytes) / n), "",
                    Format("%.2f MB in all", static_cast<double>(runs.previewBytes) / 1e6), "",
                    "rows and summary"});
}

// Each pair's with-to-without, as the per cent more the report costs.
std::vector<double> PairedCost(const std::vector<double>& without,
                               const std::vector<double>& with) {
    std::vector<double> cost;
    for (std::size_t i = 0; i < std::min(without.size(), with.size()); ++i) {
        cost.push_back((with[i] / without[i] - 1) * 100);
    }
    return cost;
}

void AddNamesRows(Rows& rows, const NamesRuns& runs, double n) {
    const Stats drop = Summarize(PairedCost(runs.dropWithout, runs.dropWith));
    rows.push_back({"10 drop with its report (names) to without", Format("%+.1f %%", drop.median),
                    Spread(drop, 1, "%+.1f"),
                    PerPatch("%.0f us/patch with", Summarize(runs.dropWith).median, n), "<= +10 %",
                    Verdict(drop.median <= 10)});
    const Stats memory = Summarize(PairedCost(runs.memoryWithout, runs.memoryWith));
    rows.push_back({"  rewrite in memory with its report to without",
                    Format("%+.1f %%", memory.median), Spread(memory, 1, "%+.1f"),
                    PerPatch("%.1f us/patch with", Summarize(runs.memoryWith).median, n), "",
                    "(one core, no files)"});
}

void AddPeakRows(Rows& rows, const PeakRuns& runs) {
    const Stats big = Summarize(runs.bigPeak);
    const Stats small = Summarize(runs.smallPeak);
    const Stats seconds = Summarize(runs.bigSeconds);
    const double bigMb = static_cast<double>(runs.bigBytes) / 1e6;
    rows.push_back({Format("5 peak memory, one %.0f MB patch", bigMb),
                    Format("%.2f MB", big.median), Spread(big, 1, "%.2f"),
                    Format("above %.1f MB at start", Summarize(runs.bigBaseline).median), "< 32 MB",
                    Verdict(big.median < 32)});
    rows.push_back(
        {Format("  peak memory, one %.0f MB patch", static_cast<double>(runs.smallBytes) / 1e6),
         Format("%.2f MB", small.median), Spread(small, 1, "%.2f"), "", "", "(for comparison)"});
    rows.push_back({Format("  rewrite of the %.0f MB patch, file to file", bigMb),
                    Seconds(seconds.median), Spread(seconds, 1, "%.3f"),
                    Format("%.0f MB/s", bigMb / seconds.median), "", ""});
}

void AddStartupRow(Rows& rows, const StartupRuns& runs) {
    if (runs.seconds.empty()) {
        rows.push_back({"  window start-up to first frame", "-", "", runs.why, "report", ""});
        return;
    }
    const Stats startup = Summarize(runs.seconds);
    rows.push_back({Format("  window start-up to first frame (%.0f starts)",
                           static_cast<double>(runs.seconds.size())),
                    Format("%.0f ms", startup.median * 1000), Spread(startup, 1000, "%.0f"),
                    "fresh process, offscreen", "report", ""});
}

void PrintRows(const Rows& rows) {
    const char* const format = "%-50s %-14s %-24s %-22s %-12s %s\n";
    std::printf(format, "measure", "median", "min .. max", "", "target", "met");
    for (const Row& row : rows) {
        std::printf(format, row.name.c_str(), row.median.c_str(), row.spread.c_str(),
                    row.extra.c_str(), row.target.c_str(), row.verdict.c_str());
    }
}

constexpr const char* kPairedLine =
    "  the same, median of the per-run ratios %.3f   (robust when the disk is shared)\n";

// The median of a[i] / b[i]: steadier than a ratio of medians when the disk
// is shared and a slow spell hits both sides of a run.
double PairedRatio(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> paired;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) paired.push_back(a[i] / b[i]);
    return Summarize(paired).median;
}

void PrintCoreToLimit(const FileRuns& runs, double n) {
    const double core = Summarize(runs.core).median;
    const double ratio = core / Summarize(runs.limit).median;
    std::printf("ratio 1/2  (core batch / limit)       %.3f   target <= 1.10   met: %s\n", ratio,
                Verdict(ratio <= 1.10).c_str());
    std::printf("                                              stretch <= 0.80  met: %s\n",
                Verdict(ratio <= 0.80).c_str());
    std::printf(kPairedLine, PairedRatio(runs.core, runs.limit));
    const double cli = Summarize(runs.cli).median / Summarize(runs.limit).median;
    std::printf("ratio 1c/2 (pemberlock-cli / limit)   %.3f   target <= 1.10   met: %s\n", cli,
                Verdict(cli <= 1.10).c_str());
    std::printf(kPairedLine, PairedRatio(runs.cli, runs.limit));
    const double undo = Summarize(runs.cliUndo).median / Summarize(runs.cli).median;
    std::printf("ratio 8/1c (undo / its drop)          %.3f   target <= 1.00   met: %s\n", undo,
                Verdict(undo <= 1.0).c_str());
    std::printf(kPairedLine, PairedRatio(runs.cliUndo, runs.cli));
    std::printf("ratio 1/(2 + folder fsync), per patch %.3f   (for comparison)\n",
                core / n / Summarize(runs.limitSyncedPerPatch).median);
}

void PrintJournalToLimit(const FileRuns& runs, bool withCore) {
    const double journal = Summarize(runs.journal).median;
    const double ratio = journal / Summarize(runs.limit).median;
    std::printf("ratio 6/2  (journal batch / limit)    %.3f   target <= 1.15   met: %s\n", ratio,
                Verdict(ratio <= 1.15).c_str());
    std::printf(kPairedLine, PairedRatio(runs.journal, runs.limit));
    std::printf("ratio 6/unsafe floor                  %.3f   (for comparison; paired %.3f)\n",
                journal / Summarize(runs.unsafeFloor).median,
                PairedRatio(runs.journal, runs.unsafeFloor));
    if (!withCore) return;
    std::printf("ratio 6/1  (the journal's own cost)   %.3f   (for comparison; paired %.3f)\n",
                journal / Summarize(runs.core).median, PairedRatio(runs.journal, runs.core));
}

void PrintDropToCore(const FileRuns& runs) {
    const double core = Summarize(runs.core).median;
    const double ratio = Summarize(runs.drops).median / core;
    std::printf("ratio 4/1  (window drop / core batch) %.3f   target <= 1.15   met: %s\n", ratio,
                Verdict(ratio <= 1.15).c_str());
    std::printf(kPairedLine, PairedRatio(runs.drops, runs.core));
    if (runs.logOnlyDrops.empty()) return;
    // The window's own cost added to the core's, both free of disk noise.
    const double added = Summarize(runs.logOnlyDrops).median - Summarize(runs.logOnlyCore).median;
    std::printf(
        "  the same, from the window's own cost  %.3f   "
        "((1 + window log-only - core log-only) / 1)\n",
        (core + added) / core);
}

void PrintInOrder(const char* what, const std::vector<double>& seconds) {
    std::printf("%s:", what);
    for (const double s : seconds) std::printf(" %.3f", s);
    std::printf(" s\n");
}

}  // namespace

Stats Summarize(std::vector<double> values) {
    Stats stats;
    if (values.empty()) return stats;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    stats.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    stats.min = values.front();
    stats.max = values.back();
    return stats;
}

void PrintLarge(const LargeRuns& large) {
    const double n = static_cast<double>(large.files);
    std::printf("\n9 a large library: %zu patches in %zu folders, %.0f MB, journal on\n",
                large.files, large.folders, large.megabytes);
    std::printf(
        "  pemberlock-cli --recursive   %8.2f s  %6.0f us/patch  peak %.1f MB  every patch "
        "exact\n",
        large.cliSeconds, large.cliSeconds / n * 1e6, large.cliPeakMb);
    std::printf(
        "  pemberlock-cli --undo        %8.2f s  %6.0f us/patch  peak %.1f MB  every patch "
        "back\n",
        large.undoSeconds, large.undoSeconds / n * 1e6, large.undoPeakMb);
    std::printf("  ratio undo / drop            %8.3f   target <= 1.00   met: %s\n",
                large.undoSeconds / large.cliSeconds,
                Verdict(large.undoSeconds <= large.cliSeconds).c_str());
    if (large.windowSeconds < 0) {
        std::printf("  window drop                  -  %s\n", large.windowWhy.c_str());
        return;
    }
    std::printf(
        "  window drop (offscreen)      %8.2f s  peak %.1f MB (%.1f MB before the drop), "
        "event loop blocked at most %.0f ms (target <= 100: %s)\n",
        large.windowSeconds, large.windowPeakMb, large.windowBaseMb, large.windowBlocked * 1000,
        Verdict(large.windowBlocked <= 0.1).c_str());
}

void PrintReport(const Options& options, const Results& results) {
    if (options.Chosen("9")) PrintLarge(results.large);
    if (options.only == std::set<std::string>{"9"}) return;
    const double n = static_cast<double>(options.files);
    std::printf(
        "\nPemberlock benchmark: %zu patches, %.1f MB (%.1f KB each on average), "
        "seed %llu, %d runs, %u cores, temporary folder on %s\n\n",
        options.files, results.libraryMb, results.libraryMb * 1000 / n,
        static_cast<unsigned long long>(options.seed), options.runs,
        std::thread::hardware_concurrency(), results.fileSystem.c_str());
    Rows rows;
    AddFileRows(rows, options, results.files, n);
    if (options.Chosen("3")) AddMemoryRows(rows, results.memory, results.libraryMb);
    AddWindowRows(rows, results.files, n);
    if (options.Chosen("7")) AddReportRows(rows, results.files, n);
    if (options.Chosen("11")) AddPreviewRows(rows, results.files, n);
    if (options.Chosen("10")) AddNamesRows(rows, results.names, n);
    if (options.Chosen("5")) AddPeakRows(rows, results.peak);
    AddStartupRow(rows, results.startup);
    PrintRows(rows);

    std::printf("\n");
    const FileRuns& files = results.files;
    if (options.Chosen("1") && options.Chosen("2")) PrintCoreToLimit(files, n);
    if (options.Chosen("6") && options.Chosen("2")) PrintJournalToLimit(files, options.Chosen("1"));
    if (!files.drops.empty() && options.Chosen("1")) PrintDropToCore(files);
    if (!files.drops.empty()) {
        PrintInOrder("window drops, in order (the status box keeps growing)", files.drops);
        PrintInOrder("log-only window drops, in order", files.logOnlyDrops);
    }
    if (!files.drops.empty() || !files.journal.empty()) {
        PrintInOrder("core batches, in order", files.core);
    }
    if (options.Chosen("10")) {
        PrintInOrder("drops without the report, in order", results.names.dropWithout);
        PrintInOrder("drops with the report, in order", results.names.dropWith);
    }
    if (!files.reportOpens.empty()) PrintInOrder("report opens, in order", files.reportOpens);
    if (!files.journal.empty()) {
        PrintInOrder("limit runs, in order", files.limit);
        PrintInOrder("journal batches, in order", files.journal);
    }
}

}  // namespace pemberlock::bench
