#include "patch/ProcessPatch.h"

#include "fileio/AtomicFileWriter.h"
#include "patch/PatchRewriter.h"

#include <memory>

namespace pemberlock {
namespace {

constexpr std::size_t kReadChunk = 256 * 1024;

PatchOutcome Failure(std::string why) { return PatchOutcome{false, std::move(why), {}}; }

// The file a patch path finally names, checked for being a patch we may
// rewrite. Empty on failure, with why set.
std::string CheckedTarget(const std::string& path, FileSystem& fs, FileStatus& status,
                          std::string& why) {
    const std::string target = fs.ResolveLinks(path);
    if (target.empty()) {
        why = "is a link to nothing";
        return {};
    }
    status = fs.Status(target);
    switch (status.kind) {
        case FileKind::Missing: why = "does not exist"; return {};
        case FileKind::Directory: why = "is a folder"; return {};
        case FileKind::Other: why = "is not a regular file"; return {};
        case FileKind::Regular: break;
    }
    return target;
}

// Streams the file through the rewriter. Empty on success, else why not.
std::string ReadThrough(InputFile& in, PatchRewriter& rewriter, const ByteSink& out) {
    const std::unique_ptr<char[]> buffer(new char[kReadChunk]);
    for (;;) {
        const std::ptrdiff_t got = in.Read(buffer.get(), kReadChunk);
        if (got < 0) return "cannot be read";
        if (got == 0) break;
        if (!rewriter.Feed(std::string_view(buffer.get(), static_cast<std::size_t>(got)))) {
            return rewriter.Error();
        }
        if (out.Failed()) return "the temporary file cannot be written";
    }
    if (!rewriter.Finish()) return rewriter.Error();
    if (out.Failed()) return "the temporary file cannot be written";
    return {};
}

}  // namespace

std::string TemporaryPatchPath(const std::string& path, FileSystem& fs) {
    const std::string target = fs.ResolveLinks(path);
    return target.empty() ? target : target + "tmp";
}

PatchOutcome RewritePatchFile(const std::string& path, const KnobControllerMap& map, FileSystem& fs) {
    FileStatus status;
    std::string why;
    const std::string target = CheckedTarget(path, fs, status, why);
    if (target.empty()) return Failure(why);
    // A patch its owner protected is left alone, as the user expects.
    if (!status.ownerWritable) return Failure("is read-only");

    std::unique_ptr<InputFile> in = fs.OpenRead(target);
    if (!in) return Failure("cannot be opened");
    // The temporary file stands beside the real file, so that the rename
    // stays on one file system and a link keeps pointing at the patch.
    AtomicFileWriter writer(fs, target, target + "tmp");
    if (!writer.Open(status.permissions)) return Failure("the temporary file cannot be created");
    fs.CopyOwner(target, writer.TempPath());

    PatchRewriter rewriter(map, writer, nullptr, [&] { return fs.CreateScratch(target); });
    why = ReadThrough(*in, rewriter, writer);
    if (!why.empty()) return Failure(why);
    in.reset();  // some systems refuse to replace a file that is open
    if (!writer.Commit()) return Failure("the temporary file cannot be put in place of the patch");
    return PatchOutcome{true, {}, target};
}

bool ProcessPatch(const std::string& path, const KnobControllerMap& map, FileSystem& fs) {
    return RewritePatchFile(path, map, fs).ok;
}

PatchPreview PreviewPatchFile(const std::string& path, const KnobControllerMap& map, FileSystem& fs) {
    PatchPreview preview;
    FileStatus status;
    const std::string target = CheckedTarget(path, fs, status, preview.error);
    if (target.empty()) return preview;
    if (!status.ownerWritable) {
        preview.error = "is read-only";
        return preview;
    }
    std::unique_ptr<InputFile> in = fs.OpenRead(target);
    if (!in) {
        preview.error = "cannot be opened";
        return preview;
    }
    NullSink out;
    StringSink section;
    PatchRewriter rewriter(map, out, &section, [&] { return fs.CreateScratch(target); });
    preview.error = ReadThrough(*in, rewriter, out);
    preview.ok = preview.error.empty();
    if (preview.ok) preview.section = section.TakeText();
    return preview;
}

}  // namespace pemberlock
