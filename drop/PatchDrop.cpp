// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/PatchDrop.h"

#include "drop/FileJobs.h"
#include "fileio/Utf8Path.h"
#include "patch/ProcessPatch.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

namespace pemberlock {
namespace {

// What a preview found for one patch: its line's text.
struct PreviewedPatch final : PreparedFile {
    std::string text;
};

// A drop as jobs of the file engine: each patch rewritten into its
// temporary file, then checked, recorded in the journal and put in place,
// each path logged in the words of the drop (DropWording, unless another is
// given). A preview's jobs rewrite into memory only.
class DropJobs final : public FileJobs {
public:
    DropJobs(const std::vector<DropPath>& paths, StatusLog& log, const KnobControllerMap& map,
             FileSystem& fs, const DropOptions& options)
        : paths_(paths),
          log_(log),
          map_(map),
          fs_(fs),
          options_(options),
          words_(options.words ? *options.words : dropWords_),
          workPaths_(paths.size()),
          reports_(paths.size()) {}

    std::size_t Count() const override { return paths_.size(); }
    bool NeedsWork(std::size_t i) const override {
        return !paths_[i].unreadable && IsPatchPath(paths_[i].path);
    }
    bool NamesAFileTwice() override;
    Result<std::unique_ptr<PreparedFile>> Prepare(std::size_t i, RewriteBuffers& buffers,
                                                  bool flush,
                                                  const std::atomic<bool>* giveUp) override;
    void Finish(std::size_t i, Result<std::unique_ptr<PreparedFile>>* prepared) override;

    BatchSummary End(std::size_t finished);

private:
    // The path a patch is read and replaced through: as given, unless it
    // names a patch named before by another spelling.
    const std::string& WorkPath(std::size_t index) const {
        return workPaths_[index].empty() ? paths_[index].path : workPaths_[index];
    }
    Result<> PutInPlace(PreparedPatch& prepared);
    void Log(std::size_t index, DropPathResult::Kind kind, const std::optional<Error>& error,
             std::string text = {});

    const std::vector<DropPath>& paths_;
    StatusLog& log_;
    const KnobControllerMap& map_;
    FileSystem& fs_;
    const DropOptions& options_;
    const DropWording dropWords_;
    const BatchWording& words_;
    std::vector<std::string> workPaths_;                   // see WorkPath
    std::vector<std::shared_ptr<RewriteReport>> reports_;  // one per path, when asked for
    BatchSummary summary_;
};

// Whether two patches of the drop name one file, as far as can be told
// before opening it: by the file's identity where the system gives one, and
// by its absolute path, with names that differ only in case taken as one.
// A file system that folds case may give each such name an identity of its
// own, and keep what it knows of each apart: there the later name is
// replaced, for the work, by the one the folder lists, so that the patch is
// read and replaced through one name.
bool DropJobs::NamesAFileTwice() {
    if (options_.preview) return false;  // nothing is written: any order will do
    std::set<std::pair<std::uint64_t, std::uint64_t>> files;
    std::map<std::string, std::size_t> names;  // case-folded absolute path -> first patch
    bool twice = false;
    for (std::size_t index = 0; index < paths_.size(); ++index) {
        if (!NeedsWork(index)) continue;
        const std::string& path = paths_[index].path;
        const FileStatus status = fs_.Status(path);
        if (status.inode != 0 && !files.insert({status.device, status.inode}).second) twice = true;
        std::error_code ignored;
        const std::filesystem::path absolute =
            std::filesystem::absolute(PathFromUtf8(path), ignored).lexically_normal();
        std::string key = Utf8FromPath(absolute);
        std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) {
            return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        });
        const auto [first, fresh] = names.try_emplace(std::move(key), index);
        if (fresh) continue;
        twice = true;
        const std::string name = Utf8FromPath(absolute.filename());
        const Result<std::vector<FolderEntry>> listed =
            fs_.ListFolder(Utf8FromPath(absolute.parent_path()));
        if (!listed) continue;
        const bool own = std::any_of(listed->begin(), listed->end(),
                                     [&](const FolderEntry& entry) { return entry.name == name; });
        if (!own) workPaths_[index] = WorkPath(first->second);
    }
    return twice;
}

Result<std::unique_ptr<PreparedFile>> DropJobs::Prepare(std::size_t i, RewriteBuffers& buffers,
                                                        bool flush,
                                                        const std::atomic<bool>* giveUp) {
    if (options_.reportRewrites || options_.preview)
        reports_[i] = std::make_shared<RewriteReport>();
    if (options_.preview) {
        Result<std::string> sections = PreviewPatchFile(WorkPath(i), map_, fs_, reports_[i].get());
        if (!sections) return sections.error();
        auto preview = std::make_unique<PreviewedPatch>();
        preview->text = std::move(*sections) + FormatRewriteReport(*reports_[i], "\r\n");
        return std::unique_ptr<PreparedFile>(std::move(preview));
    }
    Result<PreparedPatch> prepared =
        PreparePatch(WorkPath(i), map_, fs_, flush, &buffers, reports_[i].get(), giveUp);
    if (!prepared) return prepared.error();
    return std::unique_ptr<PreparedFile>(std::make_unique<PreparedPatch>(std::move(*prepared)));
}

Result<> DropJobs::PutInPlace(PreparedPatch& prepared) {
    AtomicFileWriter& writer = *prepared.writer;
    // Another program may have saved the patch since it was read: its work
    // is kept, and this rewrite of what it was is given up.
    if (Result<> same = CheckStillAsRead(fs_, prepared); !same) return same;
    if (options_.journal) {
        options_.journal->BeforeReplace({prepared.target, prepared.old, prepared.oldDigest,
                                         writer.Size(), writer.Digest(), writer.Written()});
        // The journal's name for the old file changed its change time.
        if (Result<> same = CheckStillAsRead(fs_, prepared, false); !same) {
            options_.journal->AfterReplace(false);
            return same;
        }
    }
    const Result<> renamed = writer.Rename();
    if (options_.journal) options_.journal->AfterReplace(renamed.ok());
    return renamed;
}

void DropJobs::Finish(std::size_t i, Result<std::unique_ptr<PreparedFile>>* prepared) {
    const DropPath& path = paths_[i];
    if (path.unreadable) return Log(i, DropPathResult::Kind::Failed, path.unreadable);
    if (!prepared) return Log(i, DropPathResult::Kind::Skipped, std::nullopt);
    if (!*prepared) return Log(i, DropPathResult::Kind::Failed, prepared->error());
    if (options_.preview) {
        return Log(i, DropPathResult::Kind::Rewritten, std::nullopt,
                   std::move(static_cast<PreviewedPatch&>(***prepared).text));
    }
    const Result<> done = PutInPlace(static_cast<PreparedPatch&>(***prepared));
    if (!done) return Log(i, DropPathResult::Kind::Failed, done.error());
    Log(i, DropPathResult::Kind::Rewritten, std::nullopt);
}

void DropJobs::Log(std::size_t index, DropPathResult::Kind kind, const std::optional<Error>& error,
                   std::string text) {
    const std::string& path = paths_[index].path;
    if (kind == DropPathResult::Kind::Skipped) {
        log_.Append(words_.Skipped(path));
        ++summary_.skipped;
    } else {
        const Result<std::string> outcome =
            error ? Result<std::string>(*error) : Result<std::string>(std::move(text));
        log_.Append(words_.Starting(path) + words_.Finished(path, outcome));
        if (error) {
            ++summary_.errors;
            summary_.failures.push_back({path, *error});
        }
    }
    ++summary_.total;
    if (options_.observer) {
        std::shared_ptr<const RewriteReport> report;
        if (kind == DropPathResult::Kind::Rewritten) report = reports_[index];
        options_.observer->PathDone({path, kind, error, std::move(report)}, summary_.total,
                                    paths_.size());
    }
    reports_[index].reset();
}

BatchSummary DropJobs::End(std::size_t finished) {
    if (finished < paths_.size()) log_.Append(StoppedLine(paths_.size() - finished, paths_.size()));
    if (options_.observer) options_.observer->Ended(finished, paths_.size());
    log_.Append(words_.Summary(summary_));
    return summary_;
}

}  // namespace

BatchSummary RunPatchDrop(const std::vector<DropPath>& paths, StatusLog& log,
                          const KnobControllerMap& map, FileSystem& fs,
                          const DropOptions& options) {
    DropJobs jobs(paths, log, map, fs, options);
    const JobOptions run{options.stop, options.hurry, options.workers, options.groupSize};
    return jobs.End(RunFileJobs(jobs, fs, run));
}

BatchSummary RunPatchDrop(const std::vector<std::string>& paths, StatusLog& log,
                          const KnobControllerMap& map, FileSystem& fs,
                          const DropOptions& options) {
    std::vector<DropPath> dropped;
    dropped.reserve(paths.size());
    for (const std::string& path : paths) dropped.push_back({path, {}});
    return RunPatchDrop(dropped, log, map, fs, options);
}

}  // namespace pemberlock
