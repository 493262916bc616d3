// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/FileSystem.h"
#include "fileio/WindowsText.h"

#include <windows.h>

#include <cstring>
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

// A time the system keeps (100 ns steps since 1601) in ns since 1970; 0
// stays 0, unknown.
constexpr std::int64_t k1601To1970Ticks = 116'444'736'000'000'000;

std::int64_t Nanoseconds(std::int64_t ticks) {
    return ticks == 0 ? 0 : (ticks - k1601To1970Ticks) * 100;
}

std::int64_t Nanoseconds(const FILETIME& time) {
    return Nanoseconds(static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime));
}

// Whether the open file is a link (a name standing for another file), as
// opened with FILE_FLAG_OPEN_REPARSE_POINT. Other reparse points, such as
// files a cloud service keeps, are the file itself.
bool IsLink(HANDLE h) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag)) return true;
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           IsReparseTagNameSurrogate(tag.ReparseTag);
}

// What the open file is: its identity (volume serial number and file
// index), size and times as well as its kind and attributes.
FileStatus StatusOf(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info)) {
        FileStatus status;
        status.kind = FileKind::Other;  // a device or a pipe: never read
        return status;
    }
    FileStatus status = StatusOf(info.dwFileAttributes);
    status.device = info.dwVolumeSerialNumber;
    status.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    if (status.kind == FileKind::Regular) {
        status.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    }
    status.modified = Nanoseconds(info.ftLastWriteTime);
    status.links = info.nNumberOfLinks;
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) {
        status.changed = Nanoseconds(basic.ChangeTime.QuadPart);
    }
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
        const HANDLE h = Release();
        if (h != INVALID_HANDLE_VALUE && !CloseHandle(h)) return SystemError();
        return {};
    }
    HANDLE get() const { return h_; }
    // Hands the handle over; this one no longer closes it.
    HANDLE Release() {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }

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

// Held by its handle, opened with no sharing: until the handle is closed no
// other program can open, remove or rename the file. So the handle stays
// open after Close(), and the file is renamed or removed through it.
class WinOutputFile final : public OutputFile {
public:
    WinOutputFile(HANDLE h, const FileStatus& status) : file_(h), status_(status) {}
    Result<> Write(const char* data, std::size_t size) override {
        if (closed_) return SystemError(ERROR_INVALID_HANDLE);
        return file_.Write(data, size);
    }
    Result<> Flush() override {
        if (!FlushFileBuffers(file_.get())) return SystemError();
        return {};
    }
    // WriteFile and FlushFileBuffers report what goes wrong; closing the
    // handle has nothing to add, so it waits until the file is let go.
    Result<> Close() override {
        closed_ = true;
        return {};
    }
    Result<> Replace(const std::string& to) override {
        if (file_.get() == INVALID_HANDLE_VALUE) return SystemError(ERROR_INVALID_HANDLE);
        const std::wstring target = ToSystemPath(to);
        const std::size_t nameBytes = target.size() * sizeof(wchar_t);
        // The name runs on past the end of the structure.
        std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
        auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
        rename->ReplaceIfExists = TRUE;
        rename->RootDirectory = nullptr;
        rename->FileNameLength = static_cast<DWORD>(nameBytes);
        std::memcpy(rename->FileName, target.c_str(), nameBytes + sizeof(wchar_t));
        if (!SetFileInformationByHandle(file_.get(), FileRenameInfo, rename,
                                        static_cast<DWORD>(buffer.size()))) {
            return SystemError();
        }
        // The new name on stable storage before the rename is reported done.
        (void)FlushFileBuffers(file_.get());
        (void)file_.Close();
        return {};
    }
    void Discard() override {
        if (file_.get() == INVALID_HANDLE_VALUE) return;
        FILE_DISPOSITION_INFO remove{};
        remove.DeleteFile = TRUE;
        SetFileInformationByHandle(file_.get(), FileDispositionInfo, &remove, sizeof remove);
        (void)file_.Close();
    }
    const FileStatus& Status() const override { return status_; }
    // Files belong to whoever creates them; what carries over is the
    // attributes a user sees (hidden, archive).
    void CopyOwner(const FileStatus& model) override {
        FILE_BASIC_INFO info{};  // times left at 0: unchanged
        info.FileAttributes = model.attributes & kKeptAttributes;
        if (info.FileAttributes == 0) return;  // 0 would mean "unchanged" too
        SetFileInformationByHandle(file_.get(), FileBasicInfo, &info, sizeof info);
    }
    // Set through the handle, the system no longer changes the time for
    // writes through it.
    Result<> SetModified(std::int64_t modified) override {
        if (file_.get() == INVALID_HANDLE_VALUE) return SystemError(ERROR_INVALID_HANDLE);
        const std::uint64_t ticks = static_cast<std::uint64_t>(modified / 100 + k1601To1970Ticks);
        FILETIME time{};
        time.dwLowDateTime = static_cast<DWORD>(ticks);
        time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
        if (!SetFileTime(file_.get(), nullptr, nullptr, &time)) return SystemError();
        return {};
    }

private:
    Handle file_;
    FileStatus status_;
    bool closed_ = false;
};

// A lock held by the handle of its lock file.
class WinLock final : public HeldLock {
public:
    explicit WinLock(HANDLE h) : file_(h) {}
    // Closing the handle would release the lock too, but only eventually.
    ~WinLock() override {
        OVERLAPPED at{};
        UnlockFileEx(file_.get(), 0, 1, 0, &at);
    }
    WinLock(const WinLock&) = delete;
    WinLock& operator=(const WinLock&) = delete;

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
    FileStatus Status(const std::string& path) override { return StatusAt(path, false); }

    FileStatus LinkStatus(const std::string& path) override { return StatusAt(path, true); }

    Result<std::string> Canonical(const std::string& path) override {
        const Result<std::wstring> final = FinalPath(ToSystemPath(path));
        if (!final) return final.error();
        return FromSystemPath(*final);
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
        return std::unique_ptr<InputFile>(std::make_unique<WinInputFile>(h, StatusOf(h)));
    }

    Result<std::unique_ptr<OutputFile>> CreateFresh(const std::string& path,
                                                    std::uint32_t) override {
        const std::wstring system = ToSystemPath(path);
        HANDLE h = CreateNew(system);
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
            // A leftover file is removed rather than emptied: it may be a
            // hard link to some unrelated file, which emptying would
            // destroy. One that another program holds (open without sharing
            // its removal) cannot be removed, and is left to it.
            if (!DeleteFileW(system.c_str())) {
                const DWORD code = GetLastError();
                if (code == ERROR_SHARING_VIOLATION) return InUse();
                if (code != ERROR_FILE_NOT_FOUND) return SystemError(code);
            }
            h = CreateNew(system);
        }
        if (h == INVALID_HANDLE_VALUE) return SystemError();
        return std::unique_ptr<OutputFile>(std::make_unique<WinOutputFile>(h, StatusOf(h)));
    }

    void SyncFolderOf(const std::string&) override {}  // Replace() flushed it

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

    Result<std::unique_ptr<HeldLock>> TryLock(const std::string& path) override {
        // Shared, so that other programs can open it to try for the lock.
        Handle file(CreateFileW(ToSystemPath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE) return SystemError();
        OVERLAPPED at{};
        if (!LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                        &at)) {
            const DWORD code = GetLastError();
            if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING) {
                return std::unique_ptr<HeldLock>();
            }
            return SystemError(code);
        }
        return std::unique_ptr<HeldLock>(std::make_unique<WinLock>(file.Release()));
    }

    // Files here carry no user id that FileStatus::owner would hold.
    std::optional<std::uint32_t> CurrentUser() override { return std::nullopt; }

    Result<std::uint64_t> FreeSpace(const std::string& path) override {
        // A folder, which the call wants with its closing backslash.
        std::wstring folder = ToSystemPath(path);
        if (folder.back() != L'\\') folder += L'\\';
        ULARGE_INTEGER available{};
        if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) {
            return SystemError();
        }
        return static_cast<std::uint64_t>(available.QuadPart);
    }

private:
    static Error InUse() { return Error{{}, 0, "it is in use by another program"}; }

    // Held with no sharing (see WinOutputFile); DELETE to rename or remove
    // it through the handle.
    static HANDLE CreateNew(const std::wstring& path) {
        return CreateFileW(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES | DELETE, 0, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    // What path names, following links unless link; a link itself is kind
    // Other. A handle with no access to the bytes, which any sharing allows.
    static FileStatus StatusAt(const std::string& path, bool link) {
        const std::wstring system = ToSystemPath(path);
        const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (link ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
        const Handle h(CreateFileW(system.c_str(), 0,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, flags, nullptr));
        if (h.get() == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return FileStatus{};
            // Some files cannot be opened even to be looked at (the paging
            // file); the folder still says what they are, though not which.
            const DWORD attributes = GetFileAttributesW(system.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES) return FileStatus{};
            FileStatus status = StatusOf(attributes);
            if (link && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) status.kind = FileKind::Other;
            return status;
        }
        FileStatus status = StatusOf(h.get());
        if (link && IsLink(h.get())) status.kind = FileKind::Other;
        return status;
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static WinFileSystem fs;
    return fs;
}

}  // namespace pemberlock
