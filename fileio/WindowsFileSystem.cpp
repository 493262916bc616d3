#include "fileio/FileSystem.h"

#include <windows.h>

#include <string>

namespace pemberlock {
namespace {

// Larger single transfers than this are split; ReadFile and WriteFile take a DWORD.
constexpr DWORD kMaxTransfer = 0x40000000;

// Paths are UTF-8 inside the program and UTF-16 for the system.
std::wstring ToWide(const std::string& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string FromWide(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
    return text;
}

// The reason the last call failed, as the system words it, in UTF-8.
Error SystemError(DWORD code = GetLastError()) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length ? std::wstring(text, length) : std::wstring();
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    if (message.empty()) message = L"error " + std::to_wstring(code);
    return Error{{}, 0, FromWide(message)};
}

FileStatus StatusOf(DWORD attributes, bool disk) {
    FileStatus status;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        status.kind = FileKind::Directory;
    } else {
        status.kind = disk ? FileKind::Regular : FileKind::Other;
    }
    status.ownerWritable = (attributes & FILE_ATTRIBUTE_READONLY) == 0;
    status.permissions = status.ownerWritable ? 0666 : 0444;
    return status;
}

// An open handle, closed when dropped.
class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    Result<std::size_t> Read(char* buffer, std::size_t size) {
        DWORD got = 0;
        const DWORD want = size > kMaxTransfer ? kMaxTransfer : static_cast<DWORD>(size);
        if (!ReadFile(h_, buffer, want, &got, nullptr)) return SystemError();
        return static_cast<std::size_t>(got);
    }
    Result<> Write(const char* data, std::size_t size) {
        while (size > 0) {
            const DWORD want = size > kMaxTransfer ? kMaxTransfer : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!WriteFile(h_, data, want, &written, nullptr)) return SystemError();
            if (written == 0) return SystemError(ERROR_WRITE_FAULT);
            data += written;
            size -= written;
        }
        return {};
    }
    Result<> Close() {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        if (!CloseHandle(h)) return SystemError();
        return {};
    }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

class WinInputFile final : public InputFile {
public:
    WinInputFile(HANDLE h, const FileStatus& status) : file_(h), status_(status) {}
    const FileStatus& Status() const override { return status_; }
    Result<std::size_t> Read(char* buffer, std::size_t size) override {
        return file_.Read(buffer, size);
    }

private:
    Handle file_;
    FileStatus status_;
};

class WinOutputFile final : public OutputFile {
public:
    explicit WinOutputFile(HANDLE h) : file_(h) {}
    Result<> Write(const char* data, std::size_t size) override { return file_.Write(data, size); }
    Result<> Flush() override {
        if (!FlushFileBuffers(file_.get())) return SystemError();
        return {};
    }
    Result<> Close() override { return file_.Close(); }
    // Ownership stays with whoever creates the file; the attributes are kept
    // at creation instead.
    void CopyOwner(const FileStatus&) override {}

private:
    Handle file_;
};

class WinScratchFile final : public ScratchFile {
public:
    explicit WinScratchFile(HANDLE h) : file_(h) {}
    Result<> Write(const char* data, std::size_t size) override { return file_.Write(data, size); }
    Result<> Rewind() override {
        LARGE_INTEGER zero{};
        if (!SetFilePointerEx(file_.get(), zero, nullptr, FILE_BEGIN)) return SystemError();
        return {};
    }
    Result<std::size_t> Read(char* buffer, std::size_t size) override {
        return file_.Read(buffer, size);
    }

private:
    Handle file_;
};

class WinFileSystem final : public FileSystem {
public:
    FileStatus Status(const std::string& path) override {
        const DWORD attributes = GetFileAttributesW(ToWide(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return FileStatus{};
        return StatusOf(attributes, true);
    }

    Result<ResolvedPath> Resolve(const std::string& path) override {
        return ResolvedPath{path, Status(path)};
    }

    Result<std::unique_ptr<InputFile>> OpenRead(const std::string& path) override {
        const std::wstring wide = ToWide(path);
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return SystemError();
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            return std::unique_ptr<InputFile>(
                std::make_unique<WinInputFile>(INVALID_HANDLE_VALUE, StatusOf(attributes, false)));
        }
        const HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return SystemError();
        const bool disk = GetFileType(h) == FILE_TYPE_DISK;
        return std::unique_ptr<InputFile>(
            std::make_unique<WinInputFile>(h, StatusOf(attributes, disk)));
    }

    Result<std::unique_ptr<OutputFile>> CreateFresh(const std::string& path,
                                                    std::uint32_t) override {
        const std::wstring wide = ToWide(path);
        HANDLE h = CreateNew(wide);
        // A leftover file is removed rather than emptied: it may be a hard
        // link to some unrelated file, which emptying would destroy.
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS &&
            DeleteFileW(wide.c_str())) {
            h = CreateNew(wide);
        }
        if (h == INVALID_HANDLE_VALUE) return SystemError();
        return std::unique_ptr<OutputFile>(std::make_unique<WinOutputFile>(h));
    }

    Result<> RenameOver(const std::string& from, const std::string& to) override {
        if (!MoveFileExW(ToWide(from).c_str(), ToWide(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return SystemError();
        }
        return {};
    }

    void SyncFolderOf(const std::string&) override {}  // MOVEFILE_WRITE_THROUGH did it

    Result<> Remove(const std::string& path) override {
        if (!DeleteFileW(ToWide(path).c_str())) return SystemError();
        return {};
    }

    Result<std::unique_ptr<ScratchFile>> CreateScratch(const std::string& nearPath) override {
        std::wstring folder = ToWide(nearPath);
        const std::size_t slash = folder.find_last_of(L"\\/");
        folder = slash == std::wstring::npos ? L"." : folder.substr(0, slash);
        wchar_t name[MAX_PATH];
        if (GetTempFileNameW(folder.c_str(), L"pbl", 0, name) == 0) return SystemError();
        const HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const Error error = SystemError();
            DeleteFileW(name);
            return error;
        }
        return std::unique_ptr<ScratchFile>(std::make_unique<WinScratchFile>(h));
    }

private:
    static HANDLE CreateNew(const std::wstring& path) {
        return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static WinFileSystem fs;
    return fs;
}

}  // namespace pemberlock
