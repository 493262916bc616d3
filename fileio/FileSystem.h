#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace pemberlock {

// The file services the core uses. Everything that touches the disk goes
// through this seam, so that tests can make any single operation fail.

enum class FileKind { Missing, Regular, Directory, Other };

struct FileStatus {
    FileKind kind = FileKind::Missing;
    bool ownerWritable = false;  // the owner's write bit, not an access check
    std::uint32_t permissions = 0;  // permission bits (07777)
};

class InputFile {
public:
    virtual ~InputFile() = default;
    // Reads up to size bytes into buffer. Returns the number read (0 at the
    // end of the file) or -1 on a read error.
    virtual std::ptrdiff_t Read(char* buffer, std::size_t size) = 0;
};

class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Writes all of data; false on any failure.
    virtual bool Write(const char* data, std::size_t size) = 0;
    // Pushes everything written so far to stable storage.
    virtual bool Flush() = 0;
    // Closes the file; false when closing reports an error. Destroying an
    // unclosed file closes it silently.
    virtual bool Close() = 0;
};

// A nameless file for bytes set aside while a patch is rewritten; it is
// gone when closed, and leaves nothing behind if the process is killed.
class ScratchFile {
public:
    virtual ~ScratchFile() = default;
    // Writes all of data at the end; false on any failure.
    virtual bool Write(const char* data, std::size_t size) = 0;
    // Goes back to the start, so that what was written can be read.
    virtual bool Rewind() = 0;
    // As InputFile::Read.
    virtual std::ptrdiff_t Read(char* buffer, std::size_t size) = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Status of what path names, following symbolic links.
    virtual FileStatus Status(const std::string& path) = 0;
    // The path of the file that path finally names, following symbolic links;
    // path itself when it is not a link. Empty on failure (a dangling link).
    virtual std::string ResolveLinks(const std::string& path) = 0;
    // Opens a regular file for reading; nullptr when it cannot be opened or
    // is not a regular file (never blocks on a FIFO or device).
    virtual std::unique_ptr<InputFile> OpenRead(const std::string& path) = 0;
    // Creates a new, empty regular file for writing with the given permission
    // bits, replacing any file at path (never writing through a link, hard
    // or symbolic, to another file). nullptr on failure.
    virtual std::unique_ptr<OutputFile> CreateFresh(const std::string& path,
                                                         std::uint32_t permissions) = 0;
    // Gives the file at path the owner and group of the file at model, where
    // the process may; best effort, never a failure.
    virtual void CopyOwner(const std::string& model, const std::string& path) = 0;
    // Renames from over to in one atomic step.
    virtual bool ReplaceFile(const std::string& from, const std::string& to) = 0;
    // Makes the renames done in the folder holding path durable. Best effort.
    virtual void SyncFolderOf(const std::string& path) = 0;
    virtual bool Remove(const std::string& path) = 0;
    // A scratch file on the file system that holds path (not in memory, as a
    // temporary folder may be). nullptr on failure.
    virtual std::unique_ptr<ScratchFile> CreateScratch(const std::string& nearPath) = 0;
};

// The machine's own file system.
FileSystem& RealFileSystem();

}  // namespace pemberlock
