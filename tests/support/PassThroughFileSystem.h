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
    FileStatus LinkStatus(const std::string& path) override { return real_.LinkStatus(path); }
    Result<std::string> Canonical(const std::string& path) override {
        return real_.Canonical(path);
    }
    Result<ResolvedPath> Resolve(const std::string& path) override { return real_.Resolve(path); }
    Result<std::unique_ptr<InputFile>> OpenRead(const std::string& path) override {
        return real_.OpenRead(path);
    }
    Result<std::unique_ptr<OutputFile>> CreateFresh(const std::string& path,
                                                    std::uint32_t permissions) override {
        return real_.CreateFresh(path, permissions);
    }
    Result<std::unique_ptr<OutputFile>> HoldToMove(const std::string& path) override {
        return real_.HoldToMove(path);
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
    Result<std::unique_ptr<HeldLock>> TryLock(const std::string& path) override {
        return real_.TryLock(path);
    }
    std::optional<std::uint32_t> CurrentUser() override { return real_.CurrentUser(); }
    Result<std::uint64_t> FreeSpace(const std::string& path) override {
        return real_.FreeSpace(path);
    }

protected:
    FileSystem& real_ = RealFileSystem();
};

}  // namespace pemberlock::test
