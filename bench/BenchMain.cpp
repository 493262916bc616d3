// pemberlock-bench: how close rewriting a whole patch library comes to what
// the machine allows. See the README's "Benchmarks" section.

#include "tests/support/PatchGenerator.h"
#include "tests/support/Process.h"
#include "bench/WindowBench.h"
#include "map/KnobControllerMap.h"
#include "patch/DropBatch.h"
#include "patch/PatchRewriter.h"
#include "patch/PatchDrop.h"
#include "patch/ProcessPatch.h"
#include "patch/StatusLog.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace pemberlock::bench {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Options {
    std::size_t files = 10000;
    int runs = 5;
    std::uint64_t bigMegabytes = 200;
    std::uint64_t seed = 1;
    int startups = 10;
    std::size_t compareFiles = 1000;  // patches for the folder-fsync comparison
    std::string folder;  // where the temporary folder goes
    bool window = true;
    std::set<std::string> only = {"1", "2", "3", "4", "5", "startup"};
};

void Usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: pemberlock-bench [--files N] [--runs N] [--big-mb N] [--seed N]\n"
                 "                        [--startups N] [--compare-files N] [--only LIST] [--dir FOLDER]\n"
                 "                        [--no-window]\n"
                 "  --files N     patches in the generated library (default 10000)\n"
                 "  --runs N      timed runs per measure; medians are printed (default 5, at least 1)\n"
                 "  --big-mb N    size of the huge patch for the memory measure (default 200)\n"
                 "  --seed N      seed of the generated patches (default 1)\n"
                 "  --startups N  window start-ups to time (default 10)\n"
                 "  --compare-files N  patches for the limit with a folder fsync (default 1000)\n"
                 "  --dir FOLDER  where to make the temporary folder (default $TMPDIR or /tmp)\n"
                 "  --only LIST   run only these measures, e.g. 1,2 or 3 or 5,startup\n"
                 "                (1 2 3 4 5 startup; default all)\n"
                 "  --no-window   skip the window drop and the start-up\n");
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    const char* tmp = std::getenv("TMPDIR");
    options.folder = tmp && *tmp ? tmp : "/tmp";
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        const auto number = [&]() -> std::optional<std::uint64_t> {
            const std::optional<std::string> text = value();
            if (!text || text->empty() || text->find_first_not_of("0123456789") != std::string::npos) {
                return std::nullopt;
            }
            return std::stoull(*text);
        };
        std::optional<std::uint64_t> n;
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            std::exit(0);
        } else if (arg == "--no-window") {
            options.window = false;
        } else if (arg == "--only") {
            const std::optional<std::string> list = value();
            if (!list) return std::nullopt;
            options.only.clear();
            std::istringstream in(*list);
            std::string item;
            while (std::getline(in, item, ',')) {
                if (item != "1" && item != "2" && item != "3" && item != "4" && item != "5" && item != "startup") {
                    return std::nullopt;
                }
                options.only.insert(item);
            }
        } else if (arg == "--dir") {
            const std::optional<std::string> folder = value();
            if (!folder) return std::nullopt;
            options.folder = *folder;
        } else if (!(n = number())) {
            return std::nullopt;
        } else if (arg == "--files") {
            options.files = *n;
        } else if (arg == "--runs") {
            options.runs = static_cast<int>(std::max<std::uint64_t>(1, *n));
        } else if (arg == "--big-mb") {
            options.bigMegabytes = std::max<std::uint64_t>(1, *n);
        } else if (arg == "--seed") {
            options.seed = *n;
        } else if (arg == "--startups") {
            options.startups = static_cast<int>(*n);
        } else if (arg == "--compare-files") {
            options.compareFiles = std::max<std::uint64_t>(1, *n);
        } else {
            return std::nullopt;
        }
    }
    return options;
}

// The benchmark's own folder, removed with everything in it at the end.
class TempFolder {
public:
    explicit TempFolder(const std::string& parent) {
        std::string pattern = parent + "/pemberlock-bench-XXXXXX";
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a folder in " + parent);
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

struct Stats {
    double median = 0;
    double min = 0;
    double max = 0;
};

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

void WriteWhole(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string FileSystemName(const std::string& path) {
    struct statfs info {};
    if (::statfs(path.c_str(), &info) != 0) return "unknown";
    switch (static_cast<unsigned long>(info.f_type)) {
        case 0xEF53: return "ext4";
        case 0x01021994: return "tmpfs";
        case 0x58465342: return "xfs";
        case 0x9123683E: return "btrfs";
        case 0x794C7630: return "overlayfs";
        default: {
            char hex[32];
            std::snprintf(hex, sizeof hex, "0x%lx", static_cast<unsigned long>(info.f_type));
            return hex;
        }
    }
}

// ---- 2: the limit -----------------------------------------------------------

// What any safe in-place rewrite must do, and nothing more: read the file,
// write the same bytes to a temporary file beside it, push that to stable
// storage, close it and rename it over the original. syncFolder adds what
// makes the rename itself durable, to show what that costs.
bool CopyInPlace(const std::string& path, std::vector<char>& buffer, bool syncFolder,
                 const std::string& folder) {
    const std::string temp = path + "tmp";
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0) break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put <= 0) {
                ok = false;
                break;
            }
            done += put;
        }
        if (!ok) break;
    }
    ok = ::fsync(out) == 0 && ok;
    ok = ::close(out) == 0 && ok;
    ::close(in);
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (ok && syncFolder) {
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ok = dir >= 0 && ::fsync(dir) == 0;
        if (dir >= 0) ::close(dir);
    }
    return ok;
}

double RunLimit(const std::vector<std::string>& paths, const std::string& folder, bool syncFolder) {
    std::vector<char> buffer(256 * 1024);
    const Clock::time_point start = Clock::now();
    for (const std::string& path : paths) {
        if (!CopyInPlace(path, buffer, syncFolder, folder)) throw std::runtime_error("limit: cannot copy " + path);
    }
    return SecondsSince(start);
}

// ---- 1: the drop batch through the core ------------------------------------

double RunCoreBatch(const std::vector<std::string>& paths, const KnobControllerMap& map) {
    const Clock::time_point start = Clock::now();
    TextStatusLog log;
    const BatchSummary summary =
        RunPatchDrop(paths, log, map);
    const double seconds = SecondsSince(start);
    if (summary.errors != 0 || summary.succeeded() != paths.size()) {
        throw std::runtime_error("core batch: " + std::to_string(summary.errors) + " errors");
    }
    const std::string tail = std::to_string(paths.size()) + " of " + std::to_string(paths.size()) +
                             " files processed successfully.\r\n0 files skipped.\r\n0 errors.\r\n";
    if (log.Text().size() < tail.size() || log.Text().compare(log.Text().size() - tail.size(), tail.size(), tail) != 0) {
        throw std::runtime_error("core batch: unexpected log ending");
    }
    return seconds;
}

// ---- 3: the rewrite in memory ----------------------------------------------

// Keeps its buffer between patches, to see the rewriter alone.
class ReusedSink final : public ByteSink {
public:
    void Write(std::string_view bytes) override { text_.append(bytes); }
    void Clear() { text_.clear(); }
    std::size_t Size() const { return text_.size(); }

private:
    std::string text_;
};

double RunInMemory(const std::vector<std::string>& patches, const KnobControllerMap& map) {
    std::size_t outBytes = 0;
    const Clock::time_point start = Clock::now();
    for (const std::string& patch : patches) {
        const Result<RewrittenPatch> out = RewritePatchText(patch, map);
        if (!out) throw std::runtime_error("in memory: a generated patch was refused");
        outBytes += out->text.size();
    }
    const double seconds = SecondsSince(start);
    if (outBytes == 0) throw std::runtime_error("in memory: nothing written");
    return seconds;
}

double RunStreamingInMemory(const std::vector<std::string>& patches, const KnobControllerMap& map) {
    ReusedSink sink;
    std::size_t outBytes = 0;
    const Clock::time_point start = Clock::now();
    for (const std::string& patch : patches) {
        sink.Clear();
        PatchRewriter rewriter(map, sink);
        if (!rewriter.Feed(patch) || !rewriter.Finish()) throw std::runtime_error("in memory: refused");
        outBytes += sink.Size();
    }
    const double seconds = SecondsSince(start);
    if (outBytes == 0) throw std::runtime_error("in memory: nothing written");
    return seconds;
}

// ---- 5: peak memory, in a process of its own --------------------------------

long HighWaterKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// Child mode: rewrites one patch file and prints the memory high-water mark
// before and after, in KB, and the seconds it took.
int PeakChild(const std::string& path) {
    const KnobControllerMap map;
    const long before = HighWaterKilobytes();
    const Clock::time_point start = Clock::now();
    const Result<std::string> outcome = RewritePatchFile(path, map);
    const double seconds = SecondsSince(start);
    const long after = HighWaterKilobytes();
    if (!outcome) {
        std::printf("error %s\n", outcome.error().Text().c_str());
        return 1;
    }
    std::printf("%ld %ld %.6f\n", before, after, seconds);
    return 0;
}

std::string SelfPath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) throw std::runtime_error("cannot find the benchmark's own path");
    return self.string();
}

struct PeakResult {
    double baselineMb = 0;
    double peakMb = 0;
    double seconds = 0;
};

PeakResult MeasurePeak(const std::string& path) {
    // A huge patch on a slow disk may take minutes.
    const test::ProcessResult child =
        test::RunProcess({SelfPath(), "--peak-child", path}, "", std::chrono::minutes(30));
    const std::string line = child.out.substr(0, child.out.find('\n'));
    if (child.status != 0) throw std::runtime_error("peak child failed: " + line + child.err);
    std::istringstream in(line);
    long before = 0;
    long after = 0;
    PeakResult result;
    if (!(in >> before >> after >> result.seconds)) throw std::runtime_error("peak child said: " + line);
    result.baselineMb = static_cast<double>(before) / 1024.0;
    result.peakMb = static_cast<double>(after) / 1024.0;
    return result;
}

std::string MakeHugePatch(const std::string& path, std::uint64_t seed, std::uint64_t bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    test::GenerateHugePatch(seed, bytes, [&](std::string_view piece) {
        out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    });
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
    return path;
}

// ---- the report -------------------------------------------------------------

struct Row {
    std::string name;
    std::string median;
    std::string spread;
    std::string extra;
    std::string target;
    std::string verdict;
};

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Seconds(double s) { return Format("%.3f s", s); }
std::string Spread(const Stats& stats, double scale, const char* format) {
    return Format(format, stats.min * scale) + " .. " + Format(format, stats.max * scale);
}

void PrintRows(const std::vector<Row>& rows) {
    std::printf("%-50s %-14s %-24s %-22s %-12s %s\n", "measure", "median", "min .. max", "", "target",
                "met");
    for (const Row& row : rows) {
        std::printf("%-50s %-14s %-24s %-22s %-12s %s\n", row.name.c_str(), row.median.c_str(),
                    row.spread.c_str(), row.extra.c_str(), row.target.c_str(), row.verdict.c_str());
    }
}

std::string Verdict(bool met) { return met ? "yes" : "NO"; }

int Run(const Options& options) {
    const unsigned cores = std::thread::hardware_concurrency();
    const auto chosen = [&](const char* measure) { return options.only.count(measure) > 0; };
    const bool core1 = chosen("1");
    const bool limit2 = chosen("2");
    const bool memory3 = chosen("3");
    const bool window4 = chosen("4") && options.window;
    const bool peak5 = chosen("5");
    const bool startup = chosen("startup") && options.window;

    TempFolder temp(options.folder);
    const std::string library = temp.Path() + "/library";
    std::filesystem::create_directory(library);
    const KnobControllerMap map;  // knob i to controller 101 + i, option off

    std::printf("Generating %zu patches (seed %llu) in %s ...\n", options.files,
                static_cast<unsigned long long>(options.seed), temp.Path().c_str());
    std::fflush(stdout);
    std::vector<std::string> paths;
    std::vector<std::string> patches;
    std::uint64_t libraryBytes = 0;
    for (std::size_t i = 0; i < options.files; ++i) {
        char name[64];
        // Real names have blanks in them.
        std::snprintf(name, sizeof name, "/patch %05zu.pch", i);
        patches.push_back(test::GenerateLibraryPatch(options.seed, i));
        libraryBytes += patches.back().size();
        paths.push_back(library + name);
        WriteWhole(paths.back(), patches.back());
    }
    ::sync();
    const double libraryMb = static_cast<double>(libraryBytes) / 1e6;
    const double n = static_cast<double>(options.files);

    // 3 first, before the file measures leave the disk busy.
    std::vector<double> memory;
    std::vector<double> streaming;
    for (int run = 0; memory3 && run < options.runs; ++run) {
        memory.push_back(RunInMemory(patches, map));
        streaming.push_back(RunStreamingInMemory(patches, map));
    }

    std::string windowWhy = options.window ? "not chosen (--only)" : "skipped (--no-window)";
    std::unique_ptr<WindowDropBench> window;
    if (window4) window = CreateWindowDropBench(windowWhy);

    // One untimed rewrite: it adds the controller section, after which every
    // pass sees the same bytes.
    if (core1 || window4) RunCoreBatch(paths, map);
    ::sync();
    // The comparison with a folder fsync runs on a part of the library only:
    // it explains a ratio and need not cost as long as the measures.
    const std::vector<std::string> compared(
        paths.begin(), paths.begin() + static_cast<std::ptrdiff_t>(std::min(options.compareFiles, paths.size())));
    const double nCompared = static_cast<double>(compared.size());

    std::vector<double> core;
    std::vector<double> limit;
    std::vector<double> limitSynced;
    std::vector<double> drops;
    for (int run = 0; (core1 || limit2 || window4) && run < options.runs; ++run) {
        std::printf("  run %d of %d ...\n", run + 1, options.runs);
        std::fflush(stdout);
        // Alternate the order so that neither side always follows the other.
        const auto doLimit = [&] {
            if (limit2) limit.push_back(RunLimit(paths, library, false));
        };
        const auto doCore = [&] {
            if (core1) core.push_back(RunCoreBatch(paths, map));
        };
        if (run % 2 == 0) {
            doLimit();
            doCore();
        } else {
            doCore();
            doLimit();
        }
        if (limit2) limitSynced.push_back(RunLimit(compared, library, true) / nCompared);
        if (window) {
            std::string why;
            const double seconds = window->Drop(paths, why);
            if (seconds < 0) {
                windowWhy = why;
                window.reset();
            } else {
                drops.push_back(seconds);
            }
        }
    }

    // What the window adds to a drop, apart from the disk: the same drop with
    // the file work left out, against the core batch doing the same.
    std::vector<double> logOnlyCore;
    std::vector<double> logOnlyDrops;
    if (window) {
        window->SetLogOnly(true);
        for (int run = 0; run < options.runs; ++run) {
            const Clock::time_point start = Clock::now();
            TextStatusLog log;
            RunDropBatch(paths, log, [](const std::string&) { return Result<std::string>(std::string()); });
            logOnlyCore.push_back(SecondsSince(start));
            std::string why;
            const double seconds = window->Drop(paths, why);
            if (seconds < 0) throw std::runtime_error("window drop, log only: " + why);
            logOnlyDrops.push_back(seconds);
        }
        window->SetLogOnly(false);
    }

    // 5: one huge patch, and one a tenth of its size to show the peak does
    // not follow the size.
    const std::uint64_t bigBytes = options.bigMegabytes * 1000 * 1000;
    const std::uint64_t smallBytes = std::max<std::uint64_t>(bigBytes / 10, 1000 * 1000);
    const std::string bigPath = temp.Path() + "/huge.pch";
    const std::string smallPath = temp.Path() + "/large.pch";
    std::vector<double> bigPeak;
    std::vector<double> bigBaseline;
    std::vector<double> bigSeconds;
    std::vector<double> smallPeak;
    for (int run = 0; peak5 && run < options.runs; ++run) {
        // Regenerated each time: the rewrite adds a section.
        MakeHugePatch(bigPath, options.seed, bigBytes);
        const PeakResult big = MeasurePeak(bigPath);
        bigPeak.push_back(big.peakMb - big.baselineMb);
        bigBaseline.push_back(big.baselineMb);
        bigSeconds.push_back(big.seconds);
        MakeHugePatch(smallPath, options.seed, smallBytes);
        const PeakResult small = MeasurePeak(smallPath);
        smallPeak.push_back(small.peakMb - small.baselineMb);
    }
    std::filesystem::remove(bigPath);
    std::filesystem::remove(smallPath);

    // Start-up: a fresh process each time, offscreen, until the first frame.
    std::vector<double> startups;
    std::string startupWhy = options.window ? "not chosen (--only)" : "skipped (--no-window)";
    const std::string probe = (std::filesystem::path(SelfPath()).parent_path() / "pemberlock-bench-startup").string();
    if (startup && (!WindowBuilt() || !std::filesystem::exists(probe))) {
        startupWhy = "the window was not built";
    } else if (startup) {
        for (int i = 0; i < options.startups; ++i) {
            const test::ProcessResult run = test::RunProcess(
                {probe}, "", std::chrono::seconds(60), {"QT_QPA_PLATFORM=offscreen"});
            if (run.status != 0 || run.untilFirstLine.count() == 0) {
                throw std::runtime_error(probe + " failed: " + run.out + run.err);
            }
            startups.push_back(std::chrono::duration<double>(run.untilFirstLine).count());
        }
    }

    std::printf("\nPemberlock benchmark: %zu patches, %.1f MB (%.1f KB each on average), seed %llu, "
                "%d runs, %u cores, temporary folder on %s\n\n",
                options.files, libraryMb, libraryMb * 1000 / n, static_cast<unsigned long long>(options.seed),
                options.runs, cores, FileSystemName(temp.Path()).c_str());

    std::vector<Row> rows;
    const Stats coreStats = Summarize(core);
    const Stats limitStats = Summarize(limit);
    if (core1) {
        rows.push_back({"1 ProcessPatch drop batch (core, with its log)", Seconds(coreStats.median),
                        Spread(coreStats, 1, "%.3f"), Format("%.0f us/patch", coreStats.median / n * 1e6), "", ""});
    }
    if (limit2) {
        const Stats syncedStats = Summarize(limitSynced);
        rows.push_back({"2 limit: read, write temp, fsync, close, rename", Seconds(limitStats.median),
                        Spread(limitStats, 1, "%.3f"), Format("%.0f us/patch", limitStats.median / n * 1e6), "",
                        ""});
        rows.push_back({Format("  limit + folder fsync, first %.0f patches", nCompared),
                        Seconds(syncedStats.median * nCompared), Spread(syncedStats, nCompared, "%.3f"),
                        Format("%.0f us/patch", syncedStats.median * 1e6), "", "(for comparison)"});
    }
    if (memory3) {
        const Stats memoryStats = Summarize(memory);
        const Stats streamingStats = Summarize(streaming);
        const double rate = libraryMb / memoryStats.median;
        rows.push_back({"3 rewrite in memory (RewritePatchText)", Format("%.0f MB/s", rate),
                        Format("%.0f", libraryMb / memoryStats.max) + " .. " +
                            Format("%.0f MB/s", libraryMb / memoryStats.min),
                        "one core", ">= 300 MB/s", Verdict(rate >= 300)});
        rows.push_back({"  PatchRewriter into a reused buffer", Format("%.0f MB/s", libraryMb / streamingStats.median),
                        Format("%.0f", libraryMb / streamingStats.max) + " .. " +
                            Format("%.0f MB/s", libraryMb / streamingStats.min),
                        "one core", "", "(for comparison)"});
    }
    std::optional<double> dropMedian;
    if (!drops.empty()) {
        const Stats dropStats = Summarize(drops);
        dropMedian = dropStats.median;
        rows.push_back({"4 window drop (offscreen, status box)", Seconds(dropStats.median),
                        Spread(dropStats, 1, "%.3f"), Format("%.0f us/patch", dropStats.median / n * 1e6), "", ""});
        if (!logOnlyDrops.empty()) {
            const Stats drop0 = Summarize(logOnlyDrops);
            const Stats core0 = Summarize(logOnlyCore);
            rows.push_back({"  window drop, log only (no file work)", Seconds(drop0.median), Spread(drop0, 1, "%.3f"),
                            Format("%.1f us/patch", drop0.median / n * 1e6), "", "(for comparison)"});
            rows.push_back({"  core batch, log only (no file work)", Seconds(core0.median), Spread(core0, 1, "%.3f"),
                            Format("%.1f us/patch", core0.median / n * 1e6), "", "(for comparison)"});
        }
    } else {
        rows.push_back({"4 window drop (offscreen, status box)", "-", "", windowWhy, "", ""});
    }
    if (peak5) {
        const Stats bigPeakStats = Summarize(bigPeak);
        const Stats smallPeakStats = Summarize(smallPeak);
        const Stats bigSecondsStats = Summarize(bigSeconds);
        rows.push_back({Format("5 peak memory, one %.0f MB patch", static_cast<double>(bigBytes) / 1e6),
                        Format("%.2f MB", bigPeakStats.median), Spread(bigPeakStats, 1, "%.2f"),
                        Format("above %.1f MB at start", Summarize(bigBaseline).median), "< 32 MB",
                        Verdict(bigPeakStats.median < 32)});
        rows.push_back({Format("  peak memory, one %.0f MB patch", static_cast<double>(smallBytes) / 1e6),
                        Format("%.2f MB", smallPeakStats.median), Spread(smallPeakStats, 1, "%.2f"), "", "",
                        "(for comparison)"});
        rows.push_back({Format("  rewrite of the %.0f MB patch, file to file", static_cast<double>(bigBytes) / 1e6),
                        Seconds(bigSecondsStats.median), Spread(bigSecondsStats, 1, "%.3f"),
                        Format("%.0f MB/s", static_cast<double>(bigBytes) / 1e6 / bigSecondsStats.median), "", ""});
    }
    if (!startups.empty()) {
        const Stats startupStats = Summarize(startups);
        rows.push_back({Format("  window start-up to first frame (%.0f starts)", static_cast<double>(startups.size())),
                        Format("%.0f ms", startupStats.median * 1000), Spread(startupStats, 1000, "%.0f"),
                        "fresh process, offscreen", "report", ""});
    } else {
        rows.push_back({"  window start-up to first frame", "-", "", startupWhy, "report", ""});
    }
    PrintRows(rows);

    std::printf("\n");
    if (core1 && limit2) {
        const double ratio = coreStats.median / limitStats.median;
        std::printf("ratio 1/2  (core batch / limit)       %.3f   target <= 1.15   met: %s\n", ratio,
                    Verdict(ratio <= 1.15).c_str());
        std::vector<double> paired;
        for (std::size_t i = 0; i < core.size() && i < limit.size(); ++i) paired.push_back(core[i] / limit[i]);
        std::printf("  the same, median of the per-run ratios %.3f   (robust when the disk is shared)\n",
                    Summarize(paired).median);
        std::printf("ratio 1/(2 + folder fsync), per patch %.3f   (for comparison)\n",
                    coreStats.median / n / Summarize(limitSynced).median);
    }
    if (dropMedian && core1) {
        const double ratio = *dropMedian / coreStats.median;
        std::printf("ratio 4/1  (window drop / core batch) %.3f   target <= 1.3    met: %s\n", ratio,
                    Verdict(ratio <= 1.3).c_str());
        std::vector<double> paired;
        for (std::size_t i = 0; i < core.size() && i < drops.size(); ++i) paired.push_back(drops[i] / core[i]);
        std::printf("  the same, median of the per-run ratios %.3f   (robust when the disk is shared)\n",
                    Summarize(paired).median);
        if (!logOnlyDrops.empty()) {
            // The window's own cost added to the core's, both free of disk noise.
            const double added = Summarize(logOnlyDrops).median - Summarize(logOnlyCore).median;
            std::printf("  the same, from the window's own cost  %.3f   ((1 + window log-only - core log-only) / 1)\n",
                        (coreStats.median + added) / coreStats.median);
        }
    }
    if (dropMedian) {
        std::printf("window drops, in order (the status box keeps growing):");
        for (const double d : drops) std::printf(" %.3f", d);
        std::printf(" s\nlog-only window drops, in order:");
        for (const double d : logOnlyDrops) std::printf(" %.3f", d);
        std::printf(" s\ncore batches, in order:");
        for (const double d : core) std::printf(" %.3f", d);
        std::printf(" s\n");
    }
    return 0;
}

}  // namespace
}  // namespace pemberlock::bench

int main(int argc, char** argv) {
    using namespace pemberlock::bench;
    if (argc == 3 && std::strcmp(argv[1], "--peak-child") == 0) return PeakChild(argv[2]);
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        Usage(stderr);
        return 2;
    }
    try {
        return Run(*options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pemberlock-bench: %s\n", e.what());
        return 1;
    }
}
