// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pemberlock {

// The file services the core uses. Everything that touches the disk goes
// through this seam, so that tests can make any single operation fail. A
// failure's Error carries the system's reason as its cause; saying what was
// being done is left to the caller.

enum class FileKind { Missing, Regular, Directory, Other };

struct FileStatus {
    FileKind kind = FileKind::Missing;
    bool ownerWritable = false;     // the owner's write bit, not an access check
    std::uint32_t permissions = 0;  // permission bits (07777)
    std::uint32_t owner = 0;        // user and group ids, where the system has them
    std::uint32_t group = 0;
    std::uint32_t attributes = 0;  // Windows file attributes (hidden, archive, ...)
    std::uint64_t device = 0;      // which file system holds it, where the system says
    std::uint64_t inode = 0;       // which file it is on that file system; 0 when unknown
    std::uint64_t size = 0;        // bytes, for a regular file
    std::int64_t modified = 0;     // last change of its bytes, in ns since 1970; 0 when unknown
    std::int64_t changed = 0;      // last change of its bytes or its names (ctime); 0 when unknown
    std::uint32_t links = 1;       // how many names the file has
};

// One name in a folder, and what it is (a link as a link, not followed).
struct FolderEntry {
    enum class Kind { File, Folder, LinkToFolder, Other };
    std::string name;
    Kind kind = Kind::Other;
};

// A path with its symbolic links followed, and what it names.
struct ResolvedPath {
    std::string path;  // the file that the path finally names
    FileStatus status;
};

class InputFile {
public:
    virtual ~InputFile() = default;
    // What the open file is; check its kind before reading.
    virtual const FileStatus& Status() const = 0;
    // Reads up to size bytes into buffer: the number read, 0 at the end.
    virtual Result<std::size_t> Read(char* buffer, std::size_t size) = 0;
};

// A file made by CreateFresh. It is this process's own while the object
// lives: no other program that follows the same rules writes, removes or
// renames it meanwhile. Destroying it releases it and leaves it where it is.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Writes all of data.
    virtual Result<> Write(const char* data, std::size_t size) = 0;
    // Pushes everything written so far to stable storage.
    virtual Result<> Flush() = 0;
    // Ends the writing and reports what the system had to say of it; the
    // file stays held until it is put in place, discarded or destroyed.
    virtual Result<> Close() = 0;
    // Puts the file, closed, in place of `to` in one atomic step, on the
    // same file system. Then it is no longer held.
    virtual Result<> Replace(const std::string& to) = 0;
    // Removes the file (still held, so never another program's).
    virtual void Discard() = 0;
    // Which file it is (device and inode), as the system says.
    virtual const FileStatus& Status() const = 0;
    // Gives the file model's owner and group where the process may (only an
    // administrator can give files away), or on Windows model's attributes
    // (hidden, archive); best effort, never a failure.
    virtual void CopyOwner(const FileStatus& model) = 0;
    // Sets its modification time (ns since 1970, as FileStatus::modified),
    // leaving its access time; after the last write, which would change it
    // again. Held files only, until put in place or discarded.
    virtual Result<> SetModified(std::int64_t modified) = 0;
};

// A nameless file for bytes set aside while a patch is rewritten; it is
// gone when closed, and leaves nothing behind if the process is killed.
class ScratchFile {
public:
    virtual ~ScratchFile() = default;
    // Writes all of data at the end.
    virtual Result<> Write(const char* data, std::size_t size) = 0;
    // Goes back to the start, so that what was written can be read.
    virtual Result<> Rewind() = 0;
    // As InputFile::Read.
    virtual Result<std::size_t> Read(char* buffer, std::size_t size) = 0;
};

// A lock that this process holds until the object is destroyed; a crashed
// holder's lock goes with its process.
class HeldLock {
public:
    virtual ~HeldLock() = default;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // What path names, following symbolic links; kind Missing when it cannot
    // be examined.
    virtual FileStatus Status(const std::string& path) = 0;
    // What path itself names, a symbolic link as a link (kind Other).
    virtual FileStatus LinkStatus(const std::string& path) = 0;
    // path absolute, with every symbolic link and "." or ".." resolved.
    virtual Result<std::string> Canonical(const std::string& path) = 0;
    // The file that path finally names, following symbolic links (path itself
    // when it is not a link), and what it is: kind Missing when nothing is
    // there. Fails on a dangling link.
    virtual Result<ResolvedPath> Resolve(const std::string& path) = 0;
    // Opens what path names for reading, whatever it is, without ever waiting
    // (a FIFO or device is opened, not waited on). Status() tells what it
    // is; check it (Resolve) first, so that only regular files are opened.
    virtual Result<std::unique_ptr<InputFile>> OpenRead(const std::string& path) = 0;
    // Creates a new, empty regular file for writing with the given permission
    // bits, held by this process (see OutputFile). A leftover file at path
    // that no live program holds is removed first (never written through: it
    // may be a link, hard or symbolic, to another file); one that another
    // program holds is left alone, and the Error says it is in use.
    virtual Result<std::unique_ptr<OutputFile>> CreateFresh(const std::string& path,
                                                            std::uint32_t permissions) = 0;
    // Holds the regular file at path as a finished temporary file is held,
    // to be moved elsewhere by Replace(to) (on the same file system) with its
    // bytes, permission bits and times; nothing may be written to it, and
    // Discard() leaves it where it is. Fails where the system cannot (then
    // the caller copies its bytes instead) or another program holds it.
    virtual Result<std::unique_ptr<OutputFile>> HoldToMove(const std::string& path) {
        (void)path;
        return Error{{}, 0, "not supported here"};
    }
    // Makes the renames done in the folder holding path durable. Best effort.
    virtual void SyncFolderOf(const std::string& path) = 0;
    virtual Result<> Remove(const std::string& path) = 0;
    // A scratch file on the file system that holds nearPath (not in memory, as
    // a temporary folder may be).
    virtual Result<std::unique_ptr<ScratchFile>> CreateScratch(const std::string& nearPath) = 0;
    // The entries of a folder, in no particular order, "." and ".." left out.
    virtual Result<std::vector<FolderEntry>> ListFolder(const std::string& path) = 0;
    // Whether SyncWholeFileSystemOf can stand in for flushing each file:
    // then many files can be written and made durable with one call.
    virtual bool CanSyncWholeFileSystem() const { return false; }
    // Makes everything written to the file system that holds path durable.
    virtual Result<> SyncWholeFileSystemOf(const std::string& path) = 0;
    // Makes the folder path, inside a folder that exists, readable by its
    // owner alone where the system has permission bits (it holds copies of
    // the user's files). False, not a failure, when something is already
    // there, so that a caller can claim a fresh name.
    virtual Result<bool> MakeFolder(const std::string& path) = 0;
    // Removes a folder that is empty.
    virtual Result<> RemoveFolder(const std::string& path) = 0;
    // Gives the regular file existing a second name, link, which must not
    // exist yet. Fails where the two are on different file systems, or the
    // file system has no such names.
    virtual Result<> MakeHardLink(const std::string& existing, const std::string& link) = 0;
    // path as an absolute path that names the same file from any current folder.
    virtual Result<std::string> Absolute(const std::string& path) = 0;
    // Takes the exclusive lock of the lock file at path (made if missing)
    // without waiting: nullptr when another process holds it.
    virtual Result<std::unique_ptr<HeldLock>> TryLock(const std::string& path) = 0;
    // The user this process acts for, where the system has user ids that
    // files carry (FileStatus::owner); nullopt elsewhere.
    virtual std::optional<std::uint32_t> CurrentUser() = 0;
    // The bytes this user may still write on the file system that holds the
    // folder path (what a quota or the blocks kept for the system leave).
    virtual Result<std::uint64_t> FreeSpace(const std::string& path) = 0;
};

// The machine's own file system.
FileSystem& RealFileSystem();

}  // namespace pemberlock
