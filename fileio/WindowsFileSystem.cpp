// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/FileSystem.h"
#include "fileio/WindowsText.h"

#include <windows.h>

#include <string>
#include <vector>

namespace pemberlock {
namespace {

// Larger single transfers than this are split; ReadFile and WriteFile take a DWORD.
constexpr DWORD kMaxTransfer = 0x40000000;

// Attributes a rewritten file keeps from the one it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The current folder, as the system keeps it.
std::wstring CurrentFolder() {
    const DWORD length = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(length, L'\0');
    folder.resize(GetCurrentDirectoryW(length, folder.data()));
    return folder;
}

// An absolute path with "." and ".." taken out, as the \\?\ prefix wants
// it; the root ("C:" or "\\\\server\\share") is kept as it is.
std::wstring Collapsed(const std::wstring& path) {
    std::size_t rootEnd = 2;  // after "C:"
    if (path.rfind(L"\\\\", 0) == 0) {
        rootEnd = path.find(L'\\', path.find(L'\\', 2) + 1);
        if (rootEnd == std::wstring::npos) return path;
    }
    std::vector<std::wstring> parts;
    for (std::size_t at = rootEnd; at < path.size();) {
        std::size_t end = path.find(L'\\', at + 1);
        if (end == std::wstring::npos) end = path.size();
        const std::wstring part = path.substr(at + 1, end - at - 1);
        if (part == L"..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        at = end;
    }
    std::wstring result = path.substr(0, rootEnd);
    for (const std::wstring& part : parts) result += L"\\" + part;
    return parts.empty() ? result + L"\\" : result;
}

// A UTF-8 path as the system takes it: absolute, with the \\?\ prefix, so
// that paths longer than 260 characters work and names such as "nul.pch"
// are plain files, not devices. (GetFullPathNameW would turn "nul.pch"
// into the device, so the path is made absolute here.)
std::wstring ToSystemPath(const std::string& path) {
    std::wstring wide = Widen(path);
    if (wide.rfind(L"\\\\?\\", 0) == 0) return wide;
    for (wchar_t& c : wide) {
        if (c == L'/') c = L'\\';
    }
    const bool drive = wide.size() >= 2 && wide[1] == L':';
    if (drive && (wide.size() == 2 || wide[2] != L'\\')) {
        wide =
            CurrentFolder() + L"\\" + wide.substr(2);  // "C:x": rare; taken as the current folder
    } else if (!drive && wide.rfind(L"\\\\", 0) != 0) {
        const std::wstring current = CurrentFolder();
        wide = wide.rfind(L"\\", 0) == 0 ? current.substr(0, 2) + wide : current + L"\\" + wide;
    }
    wide = Collapsed(wide);
    if (wide.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + wide.substr(2);
    return L"\\\\?\\" + wide;
}

// A system path back in the form people know: without the \\?\ prefix.
std::string FromSystemPath(std::wstring path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        path = L"\\\\" + path.substr(8);
    } else if (path.rfind(L"\\\\?\\", 0) == 0) {
        path = path.substr(4);
    }
    return Narrow(path);
}

// The reason a call failed, as the system words it, in UTF-8.
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
    return Error{{}, 0, Narrow(message)};
}

FileStatus StatusOf(DWORD attributes) {
    FileStatus status;
    status.kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Directory : FileKind::Regular;
    status.ownerWritable = (attributes & FILE_ATTRIBUTE_READONLY) == 0;
    status.permissions = status.ownerWritable ? 0666 : 0444;
    status.attributes = attributes;
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
    // Files belong to whoever creates them; what carries over is the
    // attributes a user sees (hidden, archive).
    void CopyOwner(const FileStatus& model) override {
        FILE_BASIC_INFO info{};  // times left at 0: unchanged
        info.FileAttributes = model.attributes & kKeptAttributes;
        if (info.FileAttributes == 0) return;  // 0 would mean "unchanged" too
        SetFileInformationByHandle(file_.get(), FileBasicInfo, &info, sizeof info);
    }

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

// The file a link finally names, as an absolute system path.
Result<std::wstring> FinalPath(const std::wstring& path) {
    const Handle h(CreateFileW(path.c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (h.get() == INVALID_HANDLE_VALUE) return SystemError();
    const DWORD length = GetFinalPathNameByHandleW(h.get(), nullptr, 0, VOLUME_NAME_DOS);
    if (length == 0) return SystemError();
    std::wstring final(length, L'\0');
    const DWORD written = GetFinalPathNameByHandleW(h.get(), final.data(), length, VOLUME_NAME_DOS);
    if (written == 0 || written >= length) return SystemError();
    final.resize(written);
    return final;
}

class WinFileSystem final : public FileSystem {
public:
    FileStatus Status(const std::string& path) override {
        const DWORD attributes = GetFileAttributesW(ToSystemPath(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return FileStatus{};
        return StatusOf(attributes);
    }

    Result<ResolvedPath> Resolve(const std::string& path) override {
        const std::wstring system = ToSystemPath(path);
        const DWORD attributes = GetFileAttributesW(system.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD code = GetLastError();
            if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
                return ResolvedPath{path, FileStatus{}};
            }
            return SystemError(code);
        }
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            return ResolvedPath{path, StatusOf(attributes)};
        }
        const Result<std::wstring> final = FinalPath(system);
        if (!final) return final.error();
        const DWORD finalAttributes = GetFileAttributesW(final->c_str());
        if (finalAttributes == INVALID_FILE_ATTRIBUTES) return SystemError();
        return ResolvedPath{FromSystemPath(*final), StatusOf(finalAttributes)};
    }

    Result<std::unique_ptr<InputFile>> OpenRead(const std::string& path) override {
        const std::wstring system = ToSystemPath(path);
        const HANDLE h = CreateFileW(system.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return SystemError();
        BY_HANDLE_FILE_INFORMATION info{};
        FileStatus status;
        if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info)) {
            status.kind = FileKind::Other;  // a device or a pipe: never read
        } else {
            status = StatusOf(info.dwFileAttributes);
        }
        return std::unique_ptr<InputFile>(std::make_unique<WinInputFile>(h, status));
    }

    Result<std::unique_ptr<OutputFile>> CreateFresh(const std::string& path,
                                                    std::uint32_t) override {
        const std::wstring system = ToSystemPath(path);
        HANDLE h = CreateNew(system);
        // A leftover file is removed rather than emptied: it may be a hard
        // link to some unrelated file, which emptying would destroy.
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS &&
            DeleteFileW(system.c_str())) {
            h = CreateNew(system);
        }
        if (h == INVALID_HANDLE_VALUE) return SystemError();
        return std::unique_ptr<OutputFile>(std::make_unique<WinOutputFile>(h));
    }

    Result<> RenameOver(const std::string& from, const std::string& to) override {
        if (!MoveFileExW(ToSystemPath(from).c_str(), ToSystemPath(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return SystemError();
        }
        return {};
    }

    void SyncFolderOf(const std::string&) override {}  // MOVEFILE_WRITE_THROUGH did it

    Result<> Remove(const std::string& path) override {
        if (!DeleteFileW(ToSystemPath(path).c_str())) return SystemError();
        return {};
    }

    Result<std::unique_ptr<ScratchFile>> CreateScratch(const std::string& nearPath) override {
        std::wstring folder = ToSystemPath(nearPath);
        folder.resize(folder.find_last_of(L'\\'));
        // A unique name, then a file that the system deletes when it is closed.
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            const std::wstring name =
                folder + L"\\.pemberlock-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(attempt);
            const HANDLE h = CreateFileW(
                name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                return std::unique_ptr<ScratchFile>(std::make_unique<WinScratchFile>(h));
            }
            if (GetLastError() != ERROR_FILE_EXISTS) return SystemError();
        }
        return SystemError(ERROR_FILE_EXISTS);
    }

    Result<std::vector<FolderEntry>> ListFolder(const std::string& path) override {
        WIN32_FIND_DATAW found{};
        const HANDLE search =
            FindFirstFileExW((ToSystemPath(path) + L"\\*").c_str(), FindExInfoBasic, &found,
                             FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (search == INVALID_HANDLE_VALUE) return SystemError();
        std::vector<FolderEntry> entries;
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const DWORD attributes = found.dwFileAttributes;
            FolderEntry::Kind kind = FolderEntry::Kind::File;
            if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? FolderEntry::Kind::LinkToFolder
                                                                   : FolderEntry::Kind::Folder;
            }
            entries.push_back({Narrow(name), kind});
        } while (FindNextFileW(search, &found));
        const DWORD code = GetLastError();
        FindClose(search);
        if (code != ERROR_NO_MORE_FILES) return SystemError(code);
        return entries;
    }

    // Each file is flushed on its own here.
    Result<> SyncWholeFileSystemOf(const std::string&) override {
        return SystemError(ERROR_NOT_SUPPORTED);
    }

    Result<bool> MakeFolder(const std::string& path) override {
        if (CreateDirectoryW(ToSystemPath(path).c_str(), nullptr)) return true;
        const DWORD code = GetLastError();
        if (code == ERROR_ALREADY_EXISTS) return false;
        return SystemError(code);
    }

    Result<> RemoveFolder(const std::string& path) override {
        if (!RemoveDirectoryW(ToSystemPath(path).c_str())) return SystemError();
        return {};
    }

    Result<> MakeHardLink(const std::string& existing, const std::string& link) override {
        if (!CreateHardLinkW(ToSystemPath(link).c_str(), ToSystemPath(existing).c_str(), nullptr)) {
            return SystemError();
        }
        return {};
    }

    Result<std::string> Absolute(const std::string& path) override {
        return FromSystemPath(ToSystemPath(path));
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
