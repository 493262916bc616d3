#include "fileio/FileSystem.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#ifdef _WIN32
#include <cstdio>
#include <filesystem>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pemberlock {
namespace {

#ifndef _WIN32

// Retries a system call that a signal interrupted.
template <typename Call>
auto Retry(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

class PosixInputFile final : public InputFile {
public:
    explicit PosixInputFile(int fd) : fd_(fd) {}
    ~PosixInputFile() override { ::close(fd_); }
    std::ptrdiff_t Read(char* buffer, std::size_t size) override {
        return Retry([&] { return ::read(fd_, buffer, size); });
    }

private:
    int fd_;
};

class PosixOutputFile final : public OutputFile {
public:
    explicit PosixOutputFile(int fd) : fd_(fd) {}
    ~PosixOutputFile() override {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Write(const char* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t written = Retry([&] { return ::write(fd_, data, size); });
            if (written <= 0) return false;
            data += written;
            size -= static_cast<std::size_t>(written);
        }
        return true;
    }
    bool Flush() override { return Retry([&] { return ::fsync(fd_); }) == 0; }
    bool Close() override {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

class PosixScratchFile final : public ScratchFile {
public:
    explicit PosixScratchFile(int fd) : fd_(fd) {}
    ~PosixScratchFile() override { ::close(fd_); }
    bool Write(const char* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t written = Retry([&] { return ::write(fd_, data, size); });
            if (written <= 0) return false;
            data += written;
            size -= static_cast<std::size_t>(written);
        }
        return true;
    }
    bool Rewind() override { return ::lseek(fd_, 0, SEEK_SET) == 0; }
    std::ptrdiff_t Read(char* buffer, std::size_t size) override {
        return Retry([&] { return ::read(fd_, buffer, size); });
    }

private:
    int fd_;
};

std::string ParentFolder(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

class PosixFileSystem final : public FileSystem {
public:
    FileStatus Status(const std::string& path) override {
        struct stat st {};
        FileStatus status;
        if (::stat(path.c_str(), &st) != 0) return status;
        if (S_ISREG(st.st_mode)) {
            status.kind = FileKind::Regular;
        } else if (S_ISDIR(st.st_mode)) {
            status.kind = FileKind::Directory;
        } else {
            status.kind = FileKind::Other;
        }
        status.ownerWritable = (st.st_mode & S_IWUSR) != 0;
        status.permissions = st.st_mode & 07777;
        return status;
    }

    std::string ResolveLinks(const std::string& path) override {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (!resolved) return {};
        std::string result(resolved);
        std::free(resolved);
        return result;
    }

    std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
        // Non-blocking, so that a FIFO or device is never waited on; it is
        // refused below before any read.
        const int fd = Retry([&] { return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); });
        if (fd < 0) return nullptr;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<PosixInputFile>(fd);
    }

    std::unique_ptr<OutputFile> CreateFresh(const std::string& path,
                                                 std::uint32_t permissions) override {
        // A leftover file is removed rather than emptied: it may be a hard
        // link to some unrelated file, which truncating would destroy.
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) return nullptr;
        const int fd = Retry([&] {
            return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        });
        if (fd < 0) return nullptr;
        struct stat st {};
        // Exact bits, whatever the umask; and never write into a non-file.
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
            ::fchmod(fd, static_cast<mode_t>(permissions & 07777)) != 0) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<PosixOutputFile>(fd);
    }

    void CopyOwner(const std::string& model, const std::string& path) override {
        struct stat st {};
        struct stat mine {};
        if (::stat(model.c_str(), &st) != 0 || ::lstat(path.c_str(), &mine) != 0) return;
        if (st.st_uid == mine.st_uid && st.st_gid == mine.st_gid) return;
        // Only an administrator can give files away; for anyone else the
        // new file already has the right owner.
        if (::lchown(path.c_str(), st.st_uid, st.st_gid) != 0) return;
        // chown clears set-id bits; put them back.
        ::chmod(path.c_str(), st.st_mode & 07777);
    }

    bool ReplaceFile(const std::string& from, const std::string& to) override {
        return ::rename(from.c_str(), to.c_str()) == 0;
    }

    void SyncFolderOf(const std::string& path) override {
        const int dir = ::open(ParentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0) return;
        Retry([&] { return ::fsync(dir); });
        ::close(dir);
    }

    bool Remove(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

    std::unique_ptr<ScratchFile> CreateScratch(const std::string& nearPath) override {
        const std::string folder = ParentFolder(nearPath);
        int fd = Retry([&] { return ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600); });
        if (fd < 0) {
            // File systems without nameless files: a named one, unlinked at once.
            std::string name = folder + "/.pemberlock-XXXXXX";
            fd = ::mkostemp(name.data(), O_CLOEXEC);
            if (fd < 0) return nullptr;
            ::unlink(name.c_str());
        }
        return std::make_unique<PosixScratchFile>(fd);
    }
};

#else  // _WIN32

std::wstring Wide(const std::string& path) {
    return std::filesystem::u8path(path).wstring();
}

class WinInputFile final : public InputFile {
public:
    explicit WinInputFile(HANDLE h) : h_(h) {}
    ~WinInputFile() override { CloseHandle(h_); }
    std::ptrdiff_t Read(char* buffer, std::size_t size) override {
        DWORD got = 0;
        const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        if (!ReadFile(h_, buffer, want, &got, nullptr)) return -1;
        return static_cast<std::ptrdiff_t>(got);
    }

private:
    HANDLE h_;
};

class WinOutputFile final : public OutputFile {
public:
    explicit WinOutputFile(HANDLE h) : h_(h) {}
    ~WinOutputFile() override {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    bool Write(const char* data, std::size_t size) override {
        while (size > 0) {
            const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!WriteFile(h_, data, want, &written, nullptr) || written == 0) return false;
            data += written;
            size -= written;
        }
        return true;
    }
    bool Flush() override { return FlushFileBuffers(h_) != 0; }
    bool Close() override {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return CloseHandle(h) != 0;
    }

private:
    HANDLE h_;
};

class WinScratchFile final : public ScratchFile {
public:
    explicit WinScratchFile(HANDLE h) : h_(h) {}
    ~WinScratchFile() override { CloseHandle(h_); }
    bool Write(const char* data, std::size_t size) override {
        while (size > 0) {
            const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!WriteFile(h_, data, want, &written, nullptr) || written == 0) return false;
            data += written;
            size -= written;
        }
        return true;
    }
    bool Rewind() override { return SetFilePointer(h_, 0, nullptr, FILE_BEGIN) == 0; }
    std::ptrdiff_t Read(char* buffer, std::size_t size) override {
        DWORD got = 0;
        const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        if (!ReadFile(h_, buffer, want, &got, nullptr)) return -1;
        return static_cast<std::ptrdiff_t>(got);
    }

private:
    HANDLE h_;
};

class WinFileSystem final : public FileSystem {
public:
    FileStatus Status(const std::string& path) override {
        FileStatus status;
        const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return status;
        status.kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Directory : FileKind::Regular;
        status.ownerWritable = (attributes & FILE_ATTRIBUTE_READONLY) == 0;
        status.permissions = status.ownerWritable ? 0666 : 0444;
        return status;
    }
    std::string ResolveLinks(const std::string& path) override { return path; }
    std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
        const HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        if (GetFileType(h) != FILE_TYPE_DISK) {
            CloseHandle(h);
            return nullptr;
        }
        return std::make_unique<WinInputFile>(h);
    }
    std::unique_ptr<OutputFile> CreateFresh(const std::string& path, std::uint32_t) override {
        const HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<WinOutputFile>(h);
    }
    void CopyOwner(const std::string&, const std::string&) override {}
    void SyncFolderOf(const std::string&) override {}  // MOVEFILE_WRITE_THROUGH did it
    bool ReplaceFile(const std::string& from, const std::string& to) override {
        return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
    bool Remove(const std::string& path) override { return DeleteFileW(Wide(path).c_str()) != 0; }
    std::unique_ptr<ScratchFile> CreateScratch(const std::string& nearPath) override {
        const std::filesystem::path folder = std::filesystem::u8path(nearPath).parent_path();
        wchar_t name[MAX_PATH];
        if (GetTempFileNameW(folder.empty() ? L"." : folder.c_str(), L"pbl", 0, name) == 0) {
            return nullptr;
        }
        const HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            DeleteFileW(name);
            return nullptr;
        }
        return std::make_unique<WinScratchFile>(h);
    }
};

#endif

}  // namespace

FileSystem& RealFileSystem() {
#ifdef _WIN32
    static WinFileSystem fs;
#else
    static PosixFileSystem fs;
#endif
    return fs;
}

}  // namespace pemberlock
