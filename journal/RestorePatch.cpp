#include "journal/RestorePatch.h"

#include "fileio/AtomicFileWriter.h"
#include "fileio/ContentHash.h"
#include "fileio/TargetFile.h"

#include <vector>

namespace pemberlock {
namespace {

constexpr std::size_t kChunk = 256 * 1024;

struct Fingerprint {
    std::uint64_t size = 0;
    ContentDigest digest;
    friend bool operator==(const Fingerprint&, const Fingerprint&) = default;
};

// Reads in to its end, handing each piece to take.
template <typename Take>
Result<> ReadAll(InputFile& in, std::vector<char>& buffer, Take take) {
    buffer.resize(kChunk);
    for (;;) {
        const Result<std::size_t> got = in.Read(buffer.data(), buffer.size());
        if (!got) return got.error();
        if (*got == 0) return {};
        take(std::string_view(buffer.data(), *got));
    }
}

Result<Fingerprint> FingerprintOf(InputFile& in, std::vector<char>& buffer) {
    ContentHasher hasher;
    if (Result<> read = ReadAll(in, buffer, [&](std::string_view bytes) { hasher.Update(bytes); });
        !read) {
        return read.error();
    }
    return Fingerprint{hasher.Size(), hasher.Digest()};
}

Result<Fingerprint> FingerprintOf(FileSystem& fs, const std::string& path,
                                  std::vector<char>& buffer) {
    Result<std::unique_ptr<InputFile>> in = fs.OpenRead(path);
    if (!in) return in.error();
    return FingerprintOf(**in, buffer);
}

Result<> PutBack(FileSystem& fs, const std::string& target, const FileStatus& now,
                 const std::string& keptPath, std::vector<char>& buffer) {
    Result<std::unique_ptr<InputFile>> kept = fs.OpenRead(keptPath);
    if (!kept) return kept.error().As("its old bytes cannot be read from the journal");
    AtomicFileWriter writer(fs, target, target + "tmp");
    if (Result<> opened = writer.Open(now.permissions, &now); !opened) return opened;
    if (Result<> read =
            ReadAll(**kept, buffer, [&](std::string_view bytes) { writer.Write(bytes); });
        !read) {
        return read.error().As("its old bytes cannot be read from the journal");
    }
    kept->reset();
    return writer.Commit();
}

}  // namespace

Result<> RestorePatch(FileSystem& fs, const ManifestEntry& entry, const std::string& keptPath) {
    std::vector<char> buffer;
    Result<TargetFile> patch = OpenTargetFile(fs, entry.path);
    if (!patch) return patch.error();
    const FileStatus now = patch->Status();
    const Result<Fingerprint> current = FingerprintOf(*patch->in, buffer);
    if (!current) return current.error().As("cannot be read");
    patch->in.reset();  // some systems refuse to replace a file that is open
    if (*current != Fingerprint{entry.newSize, entry.newDigest}) {
        const Result<Fingerprint> old = FingerprintOf(fs, keptPath, buffer);
        if (old && *old == *current) return {};
        return Error{"was changed after the drop"};
    }
    return PutBack(fs, patch->path, now, keptPath, buffer);
}

}  // namespace pemberlock
