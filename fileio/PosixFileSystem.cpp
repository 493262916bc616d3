// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/FileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) return SystemError();
        return {};
    }
    int fd() const { return fd_; }

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

class PosixOutputFile final : public OutputFile {
public:
    PosixOutputFile(int fd, const FileStatus& status) : file_(fd), status_(status) {}
    Result<> Write(const char* data, std::size_t size) override { return file_.Write(data, size); }
    Result<> Flush() override {
        if (Retry([&] { return ::fsync(file_.fd()); }) != 0) return SystemError();
        return {};
    }
    Result<> Close() override { return file_.Close(); }
    void CopyOwner(const FileStatus& model) override {
        if (model.owner == status_.owner && model.group == status_.group) return;
        if (::fchown(file_.fd(), model.owner, model.group) != 0) return;
        // chown clears set-id bits; put them back.
        ::fchmod(file_.fd(), static_cast<mode_t>(model.permissions));
    }

private:
    Descriptor file_;
    FileStatus status_;
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
        // A leftover file is removed rather than emptied: it may be a hard
        // link to some unrelated file, which truncating would destroy.
        if (fd < 0 && errno == EEXIST && ::unlink(path.c_str()) == 0) fd = OpenNew(path, mode);
        if (fd < 0) return SystemError();
        // open() leaves out the bits the umask masks; only then set them apart.
        struct stat st {};
        if (((mode & Umask()) != 0 && ::fchmod(fd, mode) != 0) || ::fstat(fd, &st) != 0) {
            const Error error = SystemError();
            ::close(fd);
            return error;
        }
        const FileStatus status = StatusOf(st);
        return std::unique_ptr<OutputFile>(std::make_unique<PosixOutputFile>(fd, status));
    }

    Result<> RenameOver(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) return SystemError();
        return {};
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

private:
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
