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
    SyncWhole
};

inline const char* FaultName(Fault fault) {
    const char* const names[] = {"None",  "OpenRead", "Read",    "Create",     "Write",    "Flush",
                                 "Close", "Rename",   "Scratch", "ListFolder", "SyncWhole"};
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

    // How many times the faulty operation was reached.
    int Hits() const { return hits_; }
    std::atomic<int> folderSyncs = 0;
    std::atomic<int> wholeSyncs = 0;

    Result<std::unique_ptr<InputFile>> OpenRead(const std::string& path) override {
        std::this_thread::sleep_for(slowness_);
        if (Trip(Fault::OpenRead)) return Injected();
        auto file = real_.OpenRead(path);
        if (!file) return file;
        return std::unique_ptr<InputFile>(std::make_unique<Input>(std::move(*file), *this));
    }
    Result<std::unique_ptr<OutputFile>> CreateFresh(const std::string& path,
                                                    std::uint32_t permissions) override {
        if (Trip(Fault::Create)) return Injected();
        auto file = real_.CreateFresh(path, permissions);
        if (!file) return file;
        return std::unique_ptr<OutputFile>(std::make_unique<Output>(std::move(*file), *this));
    }
    Result<> RenameOver(const std::string& from, const std::string& to) override {
        if (Trip(Fault::Rename)) return Injected();
        return real_.RenameOver(from, to);
    }
    void SyncFolderOf(const std::string& path) override {
        ++folderSyncs;
        real_.SyncFolderOf(path);
    }
    Result<std::unique_ptr<ScratchFile>> CreateScratch(const std::string& nearPath) override {
        if (Trip(Fault::Scratch)) return Injected();
        return real_.CreateScratch(nearPath);
    }
    Result<std::vector<FolderEntry>> ListFolder(const std::string& path) override {
        if (Trip(Fault::ListFolder)) return Injected();
        return real_.ListFolder(path);
    }
    Result<> SyncWholeFileSystemOf(const std::string& path) override {
        ++wholeSyncs;
        if (Trip(Fault::SyncWhole)) return Injected();
        return real_.SyncWholeFileSystemOf(path);
    }

private:
    static Error Injected() { return Error{{}, 0, kInjectedCause}; }

    bool Trip(Fault fault) {
        if (fault != fault_) return false;
        ++hits_;
        return true;
    }

    class Input final : public InputFile {
    public:
        Input(std::unique_ptr<InputFile> real, FaultyFileSystem& fs)
            : real_(std::move(real)), fs_(fs) {}
        const FileStatus& Status() const override { return real_->Status(); }
        Result<std::size_t> Read(char* buffer, std::size_t size) override {
            if (fs_.Trip(Fault::Read)) return Injected();
            return real_->Read(buffer, size);
        }

    private:
        std::unique_ptr<InputFile> real_;
        FaultyFileSystem& fs_;
    };

    class Output final : public OutputFile {
    public:
        Output(std::unique_ptr<OutputFile> real, FaultyFileSystem& fs)
            : real_(std::move(real)), fs_(fs) {}
        Result<> Write(const char* data, std::size_t size) override {
            if (fs_.Trip(Fault::Write)) return Injected();
            return real_->Write(data, size);
        }
        Result<> Flush() override {
            if (fs_.Trip(Fault::Flush)) return Injected();
            return real_->Flush();
        }
        Result<> Close() override {
            Result<> closed = real_->Close();
            if (fs_.Trip(Fault::Close)) return Injected();
            return closed;
        }
        void CopyOwner(const FileStatus& model) override { real_->CopyOwner(model); }

    private:
        std::unique_ptr<OutputFile> real_;
        FaultyFileSystem& fs_;
    };

    Fault fault_;
    std::chrono::milliseconds slowness_;
    std::atomic<int> hits_ = 0;
};

}  // namespace pemberlock::test
