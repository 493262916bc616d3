#include "patch/ProcessPatch.h"

#include "fileio/AtomicFileWriter.h"
#include "fileio/TargetFile.h"
#include "patch/PatchRewriter.h"

#include <memory>

namespace pemberlock {
namespace {

constexpr std::size_t kReadChunk = 256 * 1024;

// Streams the file through the rewriter, which writes to out.
Result<> ReadThrough(InputFile& in, PatchRewriter& rewriter, const ByteSink& out) {
    const std::unique_ptr<char[]> buffer(new char[kReadChunk]);
    for (;;) {
        const Result<std::size_t> got = in.Read(buffer.get(), kReadChunk);
        if (!got) return got.error().As("cannot be read");
        if (*got == 0) break;
        if (Result<> fed = rewriter.Feed(std::string_view(buffer.get(), *got)); !fed) return fed;
        if (out.Failure()) return *out.Failure();
    }
    if (Result<> finished = rewriter.Finish(); !finished) return finished;
    if (out.Failure()) return *out.Failure();
    return {};
}

ScratchOpener ScratchBeside(FileSystem& fs, const std::string& path) {
    return [&fs, path] { return fs.CreateScratch(path); };
}

}  // namespace

std::string TemporaryPatchPath(const std::string& path, FileSystem& fs) {
    const Result<ResolvedPath> target = fs.Resolve(path);
    return target ? target->path + "tmp" : std::string();
}

Result<std::string> RewritePatchFile(const std::string& path, const KnobControllerMap& map,
                                     FileSystem& fs) {
    Result<TargetFile> patch = OpenTargetFile(fs, path);
    if (!patch) return patch.error();
    // The temporary file stands beside the real file, so that the rename
    // stays on one file system and a link keeps pointing at the patch.
    AtomicFileWriter writer(fs, patch->path, patch->path + "tmp");
    if (Result<> opened = writer.Open(patch->Status().permissions, &patch->Status()); !opened) {
        return opened.error();
    }
    PatchRewriter rewriter(map, writer, nullptr, ScratchBeside(fs, patch->path));
    if (Result<> rewritten = ReadThrough(*patch->in, rewriter, writer); !rewritten) {
        return rewritten.error();
    }
    patch->in.reset();  // some systems refuse to replace a file that is open
    if (Result<> committed = writer.Commit(); !committed) return committed.error();
    return std::move(patch->path);
}

bool ProcessPatch(const std::string& path, const KnobControllerMap& map, FileSystem& fs) {
    return RewritePatchFile(path, map, fs).ok();
}

Result<std::string> PreviewPatchFile(const std::string& path, const KnobControllerMap& map,
                                     FileSystem& fs) {
    Result<TargetFile> patch = OpenTargetFile(fs, path);
    if (!patch) return patch.error();
    NullSink out;
    StringSink sections;
    PatchRewriter rewriter(map, out, &sections, ScratchBeside(fs, patch->path));
    if (Result<> rewritten = ReadThrough(*patch->in, rewriter, out); !rewritten) {
        return rewritten.error();
    }
    return sections.TakeText();
}

}  // namespace pemberlock
