// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/FileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace pemberlock {
namespace {

// The reason the last system call failed, as the system words it.
Error SystemError() { return Error{{}, 0, std::strerror(errno)}; }

// Retries a system call that a signal interrupted.
template <typename Call>
auto Retry(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

std::int64_t Nanoseconds(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// Takes the exclusive lock of fd without waiting: 1 taken, 0 another
// process holds it, -1 failed. A file system that has no locks counts as
// taken: such a file is no less safe than before locks were used.
int TakeLock(int fd) {
    if (Retry([&] { return ::flock(fd, LOCK_EX | LOCK_NB); }) == 0) return 1;
    if (errno == EWOULDBLOCK) return 0;
    if (errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS) return 1;
    return -1;
}

FileStatus StatusOf(const struct stat& st) {
    FileStatus status;
    if (S_ISREG(st.st_mode)) {
        status.kind = FileKind::Regular;
    } else if (S_ISDIR(st.st_mode)) {
        status.kind = FileKind::Directory;
    } else {
        status.kind = FileKind::Other;
    }
    status.ownerWritable = (st.st_mode & S_IWUSR) != 0;
    status.permissions = st.st_mode & 07777;
    status.owner = st.st_uid;
    status.group = st.st_gid;
    status.device = st.st_dev;
    status.inode = st.st_ino;
    status.size = static_cast<std::uint64_t>(st.st_size);
    status.modified = Nanoseconds(st.st_mtim);
    status.changed = Nanoseconds(st.st_ctim);
    status.links = static_cast<std::uint32_t>(st.st_nlink);
    return status;
}

// An open descriptor, closed when dropped.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    Result<std::size_t> Read(char* buffer, std::size_t size) {
        const ssize_t got = Retry([&] { return ::read(fd_, buffer, size); });
        if (got < 0) return SystemError();
        return static_cast<std::size_t>(got);
    }
    Result<> Write(const char* data, std::size_t size) {
        while (size > 0) {
            const ssize_t written = Retry([&] { return ::write(fd_, data, size); });
            if (written < 0) return SystemError();
            if (written == 0) return Error{{}, 0, std::strerror(EIO)};
            data += written;
            size -= static_cast<std::size_t>(written);
        }
        return {};
    }
    Result<> Close() {
        const int fd = Release();
        if (fd >= 0 && ::close(fd) != 0) return SystemError();
        return {};
    }
    int fd() const { return fd_; }
    // Hands the descriptor over; this one no longer closes it.
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

class PosixInputFile final : public InputFile {
public:
    PosixInputFile(int fd, const FileStatus& status) : file_(fd), status_(status) {}
    const FileStatus& Status() const override { return status_; }
    Result<std::size_t> Read(char* buffer, std::size_t size) override {
        return file_.Read(buffer, size);
    }

private:
    Descriptor file_;
    FileStatus status_;
};

// Written through one descriptor; held by a lock on a second one, so that
// closing the first (which reports what the system has to say of the
// writes) does not release it.
class PosixOutputFile final : public OutputFile {
public:
    // removable: Discard() removes the file (one this program made).
    PosixOutputFile(int fd, int held, std::string path, const FileStatus& status,
                    bool removable = true)
        : file_(fd), held_(held), path_(std::move(path)), status_(status), removable_(removable) {}
    Result<> Write(const char* data, std::size_t size) override { return file_.Write(data, size); }
    Result<> Flush() override {
        if (Retry([&] { return ::fsync(file_.fd()); }) != 0) return SystemError();
        return {};
    }
    Result<> Close() override {
        if (file_.fd() < 0) return {};
        return file_.Close();
    }
    Result<> Replace(const std::string& to) override {
        if (held_.fd() < 0) return Error{{}, 0, std::strerror(EBADF)};
        if (::rename(path_.c_str(), to.c_str()) != 0) return SystemError();
        Release();
        return {};
    }
    void Discard() override {
        if (held_.fd() < 0) return;
        if (removable_) ::unlink(path_.c_str());
        Release();
    }
    const FileStatus& Status() const override { return status_; }
    void CopyOwner(const FileStatus& model) override {
        if (model.owner == status_.owner && model.group == status_.group) return;
        if (::fchown(file_.fd(), model.owner, model.group) != 0) return;
        // chown clears set-id bits; put them back.
        ::fchmod(file_.fd(), static_cast<mode_t>(model.permissions));
    }
    // Through the descriptor that holds the file, open until it is let go.
    Result<> SetModified(std::int64_t modified) override {
        const struct timespec times[2] = {{0, UTIME_OMIT},
                                          {static_cast<time_t>(modified / 1'000'000'000),
                                           static_cast<long>(modified % 1'000'000'000)}};
        if (held_.fd() < 0) return Error{{}, 0, std::strerror(EBADF)};
        if (::futimens(held_.fd(), times) != 0) return SystemError();
        return {};
    }

private:
    void Release() {
        (void)file_.Close();
        (void)held_.Close();
    }

    Descriptor file_;
    Descriptor held_;
    std::string path_;
    FileStatus status_;
    bool removable_;
};

class PosixLock final : public HeldLock {
public:
    explicit PosixLock(int fd) : file_(fd) {}

private:
    Descriptor file_;
};

class PosixScratchFile final : public ScratchFile {
public:
    explicit PosixScratchFile(int fd) : file_(fd) {}
    Result<> Write(const char* data, std::size_t size) override { return file_.Write(data, size); }
    Result<> Rewind() override {
        if (::lseek(file_.fd(), 0, SEEK_SET) != 0) return SystemError();
        return {};
    }
    Result<std::size_t> Read(char* buffer, std::size_t size) override {
        return file_.Read(buffer, size);
    }

private:
    Descriptor file_;
};

std::string ParentFolder(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The process's umask, read once: reading it means setting it for a moment,
// so it is read when the file system is first used, before any worker runs.
mode_t Umask() {
    static const mode_t mask = [] {
        const mode_t old = ::umask(077);
        ::umask(old);
        return old;
    }();
    return mask;
}

class PosixFileSystem final : public FileSystem {
public:
    PosixFileSystem() { Umask(); }

    FileStatus Status(const std::string& path) override {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return FileStatus{};
        return StatusOf(st);
    }

    FileStatus LinkStatus(const std::string& path) override {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) return FileStatus{};
        return StatusOf(st);
    }

    Result<std::string> Canonical(const std::string& path) override {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (!resolved) return SystemError();
        std::string canonical = resolved;
        std::free(resolved);
        return canonical;
    }

    Result<ResolvedPath> Resolve(const std::string& path) override {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) return ResolvedPath{path, FileStatus{}};
            return SystemError();
        }
        if (!S_ISLNK(st.st_mode)) return ResolvedPath{path, StatusOf(st)};
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (!resolved) return SystemError();
        ResolvedPath result{resolved, FileStatus{}};
        std::free(resolved);
        if (::stat(result.path.c_str(), &st) != 0) return SystemError();
        result.status = StatusOf(st);
        return result;
    }

    Result<std::unique_ptr<InputFile>> OpenRead(const std::string& path) override {
        // Non-blocking, so that a FIFO or device is never waited on. Reads of
        // a regular file, the only kind ever read, do not mind the flag.
        const int fd =
            Retry([&] { return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); });
        if (fd < 0) return SystemError();
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            const Error error = SystemError();
            ::close(fd);
            return error;
        }
        return std::unique_ptr<InputFile>(std::make_unique<PosixInputFile>(fd, StatusOf(st)));
    }

    Result<std::unique_ptr<OutputFile>> CreateFresh(const std::string& path,
                                                    std::uint32_t permissions) override {
        const mode_t mode = static_cast<mode_t>(permissions & 07777);
        int fd = OpenNew(path, mode);
        if (fd < 0 && errno == EEXIST) {
            // A leftover: removed rather than emptied (it may be a hard link
            // to some unrelated file, which truncating would destroy), and
            // only when no live program holds it.
            if (Result<> removed = RemoveLeftover(path); !removed) return removed.error();
            fd = OpenNew(path, mode);
        }
        if (fd < 0) return SystemError();
        Descriptor file(fd);
        // Another program took the new file for a leftover in the moment
        // before the lock: it is that program's now.
        if (TakeLock(fd) != 1) return InUse();
        // A second descriptor of the same open file keeps the lock, so that
        // closing the first (which reports late write errors) does not
        // release it.
        Descriptor held(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
        if (held.fd() < 0) {
            const Error error = SystemError();
            ::unlink(path.c_str());
            return error;
        }
        struct stat st {};
        // open() leaves out the bits the umask masks; only then set them apart.
        if ((mode & Umask()) != 0 && ::fchmod(fd, mode) != 0) {
            const Error error = SystemError();
            ::unlink(path.c_str());
            return error;
        }
        if (::fstat(fd, &st) != 0) {
            const Error error = SystemError();
            ::unlink(path.c_str());
            return error;
        }
        return std::unique_ptr<OutputFile>(
            std::make_unique<PosixOutputFile>(file.Release(), held.Release(), path, StatusOf(st)));
    }

    Result<std::unique_ptr<OutputFile>> HoldToMove(const std::string& path) override {
        Descriptor held(
            Retry([&] { return ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC); }));
        if (held.fd() < 0) return SystemError();
        if (TakeLock(held.fd()) != 1) return InUse();
        struct stat st {};
        if (::fstat(held.fd(), &st) != 0) return SystemError();
        if (!S_ISREG(st.st_mode)) return Error{{}, 0, "not a regular file"};
        // A second descriptor to flush through, as for a file being written.
        Descriptor flushed(::fcntl(held.fd(), F_DUPFD_CLOEXEC, 0));
        if (flushed.fd() < 0) return SystemError();
        return std::unique_ptr<OutputFile>(std::make_unique<PosixOutputFile>(
            flushed.Release(), held.Release(), path, StatusOf(st), false));
    }

    void SyncFolderOf(const std::string& path) override {
        const int dir = ::open(ParentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0) return;
        Retry([&] { return ::fsync(dir); });
        ::close(dir);
    }

    Result<> Remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0) return SystemError();
        return {};
    }

    Result<std::unique_ptr<ScratchFile>> CreateScratch(const std::string& nearPath) override {
        const std::string folder = ParentFolder(nearPath);
        int fd = Retry([&] {
            return ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR);
        });
        if (fd < 0) {
            // File systems without nameless files: a named one, unlinked at once.
            std::string name = folder + "/.pemberlock-XXXXXX";
            fd = ::mkostemp(name.data(), O_CLOEXEC);
            if (fd < 0) return SystemError();
            ::unlink(name.c_str());
        }
        return std::unique_ptr<ScratchFile>(std::make_unique<PosixScratchFile>(fd));
    }

    Result<std::vector<FolderEntry>> ListFolder(const std::string& path) override {
        DIR* folder = ::opendir(path.c_str());
        if (!folder) return SystemError();
        std::vector<FolderEntry> entries;
        errno = 0;
        while (const dirent* entry = ::readdir(folder)) {
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") continue;
            entries.push_back({std::string(name), KindOf(::dirfd(folder), *entry)});
            errno = 0;
        }
        const Error error = SystemError();
        const bool failed = errno != 0;
        ::closedir(folder);
        if (failed) return error;
        return entries;
    }

    bool CanSyncWholeFileSystem() const override { return true; }

    Result<> SyncWholeFileSystemOf(const std::string& path) override {
        const int fd = ::open(ParentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return SystemError();
        const int synced = ::syncfs(fd);
        const Error error = SystemError();
        ::close(fd);
        if (synced != 0) return error;
        return {};
    }

    Result<bool> MakeFolder(const std::string& path) override {
        if (::mkdir(path.c_str(), 0700) == 0) return true;
        if (errno == EEXIST) return false;
        return SystemError();
    }

    Result<> RemoveFolder(const std::string& path) override {
        if (::rmdir(path.c_str()) != 0) return SystemError();
        return {};
    }

    Result<> MakeHardLink(const std::string& existing, const std::string& link) override {
        if (::link(existing.c_str(), link.c_str()) != 0) return SystemError();
        return {};
    }

    Result<std::string> Absolute(const std::string& path) override {
        if (!path.empty() && path.front() == '/') return path;
        char* current = ::getcwd(nullptr, 0);
        if (!current) return SystemError();
        std::string absolute = current;
        std::free(current);
        if (path.empty()) return absolute;
        if (absolute.back() != '/') absolute += '/';
        return absolute + path;
    }

    Result<std::unique_ptr<HeldLock>> TryLock(const std::string& path) override {
        Descriptor file(Retry(
            [&] { return ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600); }));
        if (file.fd() < 0) return SystemError();
        const int taken = TakeLock(file.fd());
        if (taken < 0) return SystemError();
        if (taken == 0) return std::unique_ptr<HeldLock>();
        return std::unique_ptr<HeldLock>(std::make_unique<PosixLock>(file.Release()));
    }

    std::optional<std::uint32_t> CurrentUser() override { return ::geteuid(); }

    Result<std::uint64_t> FreeSpace(const std::string& path) override {
        struct statvfs info {};
        if (Retry([&] { return ::statvfs(path.c_str(), &info); }) != 0) return SystemError();
        return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
    }

private:
    static Error InUse() { return Error{{}, 0, "it is in use by another program"}; }

    // Removes the leftover file at path unless a live program holds it. The
    // lock is taken on the file the name leads to, and the name checked to
    // lead there still once it is held: a name is removed or renamed only
    // by whoever holds its file.
    static Result<> RemoveLeftover(const std::string& path) {
        const Descriptor file(Retry(
            [&] { return ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); }));
        if (file.fd() < 0) {
            // A symbolic link (never followed) or a file not readable: removed as it is.
            if (errno == ELOOP || errno == EACCES) {
                if (::unlink(path.c_str()) != 0 && errno != ENOENT) return SystemError();
                return {};
            }
            if (errno == ENOENT) return {};  // gone meanwhile
            return SystemError();
        }
        const int taken = TakeLock(file.fd());
        if (taken < 0) return SystemError();
        if (taken == 0) return InUse();
        struct stat held {};
        struct stat named {};
        if (::fstat(file.fd(), &held) != 0) return SystemError();
        if (::lstat(path.c_str(), &named) != 0) return errno == ENOENT ? Result<>() : SystemError();
        if (held.st_ino != named.st_ino || held.st_dev != named.st_dev) return InUse();
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) return SystemError();
        return {};
    }

    // What an entry is, without following a link; asks the file system only
    // when the folder listing does not say.
    static FolderEntry::Kind KindOf(int folder, const dirent& entry) {
        unsigned char type = entry.d_type;
        struct stat st {};
        if (type == DT_UNKNOWN && ::fstatat(folder, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISDIR(st.st_mode)) type = DT_DIR;
            if (S_ISLNK(st.st_mode)) type = DT_LNK;
            if (S_ISREG(st.st_mode)) type = DT_REG;
        }
        switch (type) {
            case DT_REG: return FolderEntry::Kind::File;
            case DT_DIR: return FolderEntry::Kind::Folder;
            case DT_LNK:
                return ::fstatat(folder, entry.d_name, &st, 0) == 0 && S_ISDIR(st.st_mode)
                           ? FolderEntry::Kind::LinkToFolder
                           : FolderEntry::Kind::File;
            default: return FolderEntry::Kind::Other;
        }
    }

    static int OpenNew(const std::string& path, mode_t mode) {
        return Retry([&] {
            return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        });
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

}  // namespace pemberlock
