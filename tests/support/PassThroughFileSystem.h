// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/FileSystem.h"

#include <memory>
#include <string>

namespace pemberlock::test {

// The machine's file system, every call passed on; tests override the calls
// they want to watch or break.
class PassThroughFileSystem : public FileSystem {
public:
    FileStatus Status(const std::string& path) override { return real_.Status(path); }
    Result<ResolvedPath> Resolve(const std::string& path) override { return real_.Resolve(path); }
    Result<std::unique_ptr<InputFile>> OpenRead(const std::string& path) override {
        return real_.OpenRead(path);
    }
    Result<std::unique_ptr<OutputFile>> CreateFresh(const std::string& path,
                                                    std::uint32_t permissions) override {
        return real_.CreateFresh(path, permissions);
    }
    Result<> RenameOver(const std::string& from, const std::string& to) override {
        return real_.RenameOver(from, to);
    }
    void SyncFolderOf(const std::string& path) override { real_.SyncFolderOf(path); }
    Result<> Remove(const std::string& path) override { return real_.Remove(path); }
    Result<std::unique_ptr<ScratchFile>> CreateScratch(const std::string& nearPath) override {
        return real_.CreateScratch(nearPath);
    }

    Result<std::vector<FolderEntry>> ListFolder(const std::string& path) override {
        return real_.ListFolder(path);
    }
    bool CanSyncWholeFileSystem() const override { return real_.CanSyncWholeFileSystem(); }
    Result<> SyncWholeFileSystemOf(const std::string& path) override {
        return real_.SyncWholeFileSystemOf(path);
    }
    Result<bool> MakeFolder(const std::string& path) override { return real_.MakeFolder(path); }
    Result<> RemoveFolder(const std::string& path) override { return real_.RemoveFolder(path); }
    Result<> MakeHardLink(const std::string& existing, const std::string& link) override {
        return real_.MakeHardLink(existing, link);
    }
    Result<std::string> Absolute(const std::string& path) override { return real_.Absolute(path); }

protected:
    FileSystem& real_ = RealFileSystem();
};

}  // namespace pemberlock::test
