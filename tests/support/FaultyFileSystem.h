// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/PassThroughFileSystem.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace pemberlock::test {

// The real file system, with one chosen operation made to fail as a full
// disk would, so that every failure path of a rewrite or a save can be reached.
enum class Fault {
    None,
    OpenRead,
    Read,
    Create,
    Write,
    Flush,
    Close,
    Rename,
    Scratch,
    ListFolder,
    SyncWhole,
    MakeFolder,
    Link
};

inline const char* FaultName(Fault fault) {
    const char* const names[] = {"None",      "OpenRead",   "Read",   "Create",  "Write",
                                 "Flush",     "Close",      "Rename", "Scratch", "ListFolder",
                                 "SyncWhole", "MakeFolder", "Link"};
    return names[static_cast<int>(fault)];
}

// The cause every injected fault gives.
inline const std::string kInjectedCause = std::strerror(ENOSPC);

// Safe to use from several threads at once, as a drop does.
class FaultyFileSystem final : public PassThroughFileSystem {
public:
    // slowness: how long each file opened for reading takes to open, as on
    // a slow disk.
    explicit FaultyFileSystem(Fault fault, std::chrono::milliseconds slowness = {})
        : fault_(fault), slowness_(slowness) {}

    // Makes the fault hit only paths below folder (files written or read
    // there, links made there), as on a disk of its own.
    void OnlyBelow(std::string folder) { below_ = std::move(folder); }

    // How many times the faulty operation was reached.
    int Hits() const { return hits_; }
    std::atomic<int> folderSyncs = 0;
    std::atomic<int> wholeSyncs = 0;

    Result<std::unique_ptr<InputFile>> OpenRead(const std::string& path) override {
        std::this_thread::sleep_for(slowness_);
        if (Trip(Fault::OpenRead, path)) return Injected();
        auto file = real_.OpenRead(path);
        if (!file) return file;
        return std::unique_ptr<InputFile>(
            std::make_unique<Input>(std::move(*file), *this, Below(path)));
    }
    Result<std::unique_ptr<OutputFile>> CreateFresh(const std::string& path,
                                                    std::uint32_t permissions) override {
        if (Trip(Fault::Create, path)) return Injected();
        auto file = real_.CreateFresh(path, permissions);
        if (!file) return file;
        return std::unique_ptr<OutputFile>(
            std::make_unique<Output>(std::move(*file), *this, Below(path)));
    }
    void SyncFolderOf(const std::string& path) override {
        ++folderSyncs;
        real_.SyncFolderOf(path);
    }
    Result<std::unique_ptr<ScratchFile>> CreateScratch(const std::string& nearPath) override {
        if (Trip(Fault::Scratch, nearPath)) return Injected();
        return real_.CreateScratch(nearPath);
    }
    Result<std::vector<FolderEntry>> ListFolder(const std::string& path) override {
        if (Trip(Fault::ListFolder, path)) return Injected();
        return real_.ListFolder(path);
    }
    Result<> SyncWholeFileSystemOf(const std::string& path) override {
        ++wholeSyncs;
        if (Trip(Fault::SyncWhole, path)) return Injected();
        return real_.SyncWholeFileSystemOf(path);
    }
    Result<bool> MakeFolder(const std::string& path) override {
        if (Trip(Fault::MakeFolder, path)) return Injected();
        return real_.MakeFolder(path);
    }
    Result<> MakeHardLink(const std::string& existing, const std::string& link) override {
        if (Trip(Fault::Link, link)) return Injected();
        return real_.MakeHardLink(existing, link);
    }

private:
    static Error Injected() { return Error{{}, 0, kInjectedCause}; }

    bool Below(const std::string& path) const { return path.rfind(below_, 0) == 0; }

    bool Trip(Fault fault, const std::string& path) { return Trip(fault, Below(path)); }
    bool Trip(Fault fault, bool below) {
        if (fault != fault_ || !below) return false;
        ++hits_;
        return true;
    }

    class Input final : public InputFile {
    public:
        Input(std::unique_ptr<InputFile> real, FaultyFileSystem& fs, bool below)
            : real_(std::move(real)), fs_(fs), below_(below) {}
        const FileStatus& Status() const override { return real_->Status(); }
        Result<std::size_t> Read(char* buffer, std::size_t size) override {
            if (fs_.Trip(Fault::Read, below_)) return Injected();
            return real_->Read(buffer, size);
        }

    private:
        std::unique_ptr<InputFile> real_;
        FaultyFileSystem& fs_;
        bool below_;
    };

    class Output final : public OutputFile {
    public:
        Output(std::unique_ptr<OutputFile> real, FaultyFileSystem& fs, bool below)
            : real_(std::move(real)), fs_(fs), below_(below) {}
        Result<> Write(const char* data, std::size_t size) override {
            if (fs_.Trip(Fault::Write, below_)) return Injected();
            return real_->Write(data, size);
        }
        Result<> Flush() override {
            if (fs_.Trip(Fault::Flush, below_)) return Injected();
            return real_->Flush();
        }
        Result<> Close() override {
            Result<> closed = real_->Close();
            if (fs_.Trip(Fault::Close, below_)) return Injected();
            return closed;
        }
        Result<> Replace(const std::string& to) override {
            if (fs_.Trip(Fault::Rename, fs_.Below(to))) return Injected();
            return real_->Replace(to);
        }
        void Discard() override { real_->Discard(); }
        const FileStatus& Status() const override { return real_->Status(); }
        void CopyOwner(const FileStatus& model) override { real_->CopyOwner(model); }
        Result<> SetModified(std::int64_t modified) override {
            return real_->SetModified(modified);
        }

    private:
        std::unique_ptr<OutputFile> real_;
        FaultyFileSystem& fs_;
        bool below_;
    };

    Fault fault_;
    std::chrono::milliseconds slowness_;
    std::atomic<int> hits_ = 0;
    std::string below_;  // empty: everywhere
};

}  // namespace pemberlock::test
