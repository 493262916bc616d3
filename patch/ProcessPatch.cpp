// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/ProcessPatch.h"

#include "fileio/AtomicFileWriter.h"
#include "fileio/ChunkedReader.h"
#include "fileio/ContentHash.h"
#include "fileio/TargetFile.h"
#include "patch/PatchRewriter.h"

#include <memory>

namespace pemberlock {
namespace {

// Streams the file through the rewriter, which writes to out; read, when
// given, digests the bytes as they pass.
Result<> ReadThrough(InputFile& in, PatchRewriter& rewriter, const ByteSink& out,
                     std::vector<char>& buffer, ContentHasher* read = nullptr,
                     const std::atomic<bool>* giveUp = nullptr) {
    const Result<> fed =
        ReadChunks(in, buffer, "cannot be read", [&](std::string_view bytes) -> Result<> {
            if (giveUp && giveUp->load()) return Error{"was given up: the drop was stopped"};
            if (read) read->Update(bytes);
            if (Result<> taken = rewriter.Feed(bytes); !taken) return taken;
            if (out.Failure()) return *out.Failure();
            return {};
        });
    if (!fed) return fed;
    if (Result<> finished = rewriter.Finish(); !finished) return finished;
    if (out.Failure()) return *out.Failure();
    return {};
}

ScratchOpener ScratchBeside(FileSystem& fs, const std::string& path) {
    return [&fs, path] { return fs.CreateScratch(path); };
}

}  // namespace

Result<PreparedPatch> PreparePatch(const std::string& path, const KnobControllerMap& map,
                                   FileSystem& fs, bool flush, RewriteBuffers* buffers,
                                   RewriteReport* report, const std::atomic<bool>* giveUp) {
    RewriteBuffers own;
    RewriteBuffers& reuse = buffers ? *buffers : own;
    Result<TargetFile> patch = OpenTargetFile(fs, path);
    if (!patch) return patch.error();
    // The temporary file stands beside the real file, so that the rename
    // stays on one file system and a link keeps pointing at the patch.
    auto writer =
        std::make_unique<AtomicFileWriter>(fs, patch->path, patch->path + "tmp", &reuse.write);
    if (Result<> opened = writer->Open(patch->Status().permissions, &patch->Status()); !opened) {
        return opened.error();
    }
    PatchRewriter rewriter(map, *writer, nullptr, ScratchBeside(fs, patch->path));
    rewriter.ReportTo(report);
    ContentHasher read;
    if (Result<> rewritten = ReadThrough(*patch->in, rewriter, *writer, reuse.read, &read, giveUp);
        !rewritten) {
        return rewritten.error();
    }
    const FileStatus old = patch->Status();
    patch->in.reset();  // some systems refuse to replace a file that is open
    // Written to meanwhile (an editor saving it): what was read may be half
    // of one version and half of another.
    if (read.Size() != old.size) return Error{kChangedWhileRewritten};
    if (Result<> closed = writer->Close(flush); !closed) return closed.error();
    PreparedPatch prepared;
    prepared.target = std::move(patch->path);
    prepared.writer = std::move(writer);
    prepared.device = old.device;
    prepared.old = old;
    prepared.oldDigest = read.Digest();
    return prepared;
}

Result<> CheckStillAsRead(FileSystem& fs, const PreparedPatch& patch, bool changeTime) {
    if (!SameFileUnchanged(patch.old, fs.LinkStatus(patch.target), changeTime)) {
        return Error{kChangedWhileRewritten};
    }
    return {};
}

Result<std::string> RewritePatchFile(const std::string& path, const KnobControllerMap& map,
                                     FileSystem& fs) {
    Result<PreparedPatch> prepared = PreparePatch(path, map, fs, true);
    if (!prepared) return prepared.error();
    if (Result<> same = CheckStillAsRead(fs, *prepared); !same) return same.error();
    if (Result<> renamed = prepared->writer->Rename(); !renamed) return renamed.error();
    return std::move(prepared->target);
}

bool ProcessPatch(const std::string& path, const KnobControllerMap& map, FileSystem& fs) {
    return RewritePatchFile(path, map, fs).ok();
}

Result<std::string> PreviewPatchFile(const std::string& path, const KnobControllerMap& map,
                                     FileSystem& fs, RewriteReport* report) {
    Result<TargetFile> patch = OpenTargetFile(fs, path);
    if (!patch) return patch.error();
    NullSink out;
    StringSink sections;
    PatchRewriter rewriter(map, out, &sections, ScratchBeside(fs, patch->path));
    rewriter.ReportTo(report);
    std::vector<char> buffer;
    if (Result<> rewritten = ReadThrough(*patch->in, rewriter, out, buffer); !rewritten) {
        return rewritten.error();
    }
    return sections.TakeText();
}

}  // namespace pemberlock
