#pragma once

#include "fileio/FileSystem.h"

#include <memory>
#include <string>

namespace pemberlock::test {

// The real file system, with one chosen operation made to fail, so that
// every failure path of a rewrite or a save can be reached.
enum class Fault { None, OpenRead, Read, Create, Write, Flush, Close, Replace, Scratch };

inline const char* FaultName(Fault fault) {
    switch (fault) {
        case Fault::None: return "None";
        case Fault::OpenRead: return "OpenRead";
        case Fault::Read: return "Read";
        case Fault::Create: return "Create";
        case Fault::Write: return "Write";
        case Fault::Flush: return "Flush";
        case Fault::Close: return "Close";
        case Fault::Replace: return "Replace";
        case Fault::Scratch: return "Scratch";
    }
    return "?";
}

class FaultyFileSystem final : public FileSystem {
public:
    explicit FaultyFileSystem(Fault fault) : fault_(fault) {}

    // How many times the faulty operation was reached.
    int Hits() const { return hits_; }
    int folderSyncs = 0;

    FileStatus Status(const std::string& path) override { return real_.Status(path); }
    std::string ResolveLinks(const std::string& path) override { return real_.ResolveLinks(path); }
    std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
        if (Trip(Fault::OpenRead)) return nullptr;
        auto file = real_.OpenRead(path);
        if (!file) return nullptr;
        return std::make_unique<Input>(std::move(file), *this);
    }
    std::unique_ptr<OutputFile> CreateFresh(const std::string& path,
                                                 std::uint32_t permissions) override {
        if (Trip(Fault::Create)) return nullptr;
        auto file = real_.CreateFresh(path, permissions);
        if (!file) return nullptr;
        return std::make_unique<Output>(std::move(file), *this);
    }
    void CopyOwner(const std::string& model, const std::string& path) override {
        real_.CopyOwner(model, path);
    }
    bool ReplaceFile(const std::string& from, const std::string& to) override {
        return !Trip(Fault::Replace) && real_.ReplaceFile(from, to);
    }
    void SyncFolderOf(const std::string& path) override {
        ++folderSyncs;
        real_.SyncFolderOf(path);
    }
    bool Remove(const std::string& path) override { return real_.Remove(path); }
    std::unique_ptr<ScratchFile> CreateScratch(const std::string& nearPath) override {
        return Trip(Fault::Scratch) ? nullptr : real_.CreateScratch(nearPath);
    }

private:
    bool Trip(Fault fault) {
        if (fault != fault_) return false;
        ++hits_;
        return true;
    }

    class Input final : public InputFile {
    public:
        Input(std::unique_ptr<InputFile> real, FaultyFileSystem& fs) : real_(std::move(real)), fs_(fs) {}
        std::ptrdiff_t Read(char* buffer, std::size_t size) override {
            return fs_.Trip(Fault::Read) ? -1 : real_->Read(buffer, size);
        }

    private:
        std::unique_ptr<InputFile> real_;
        FaultyFileSystem& fs_;
    };

    class Output final : public OutputFile {
    public:
        Output(std::unique_ptr<OutputFile> real, FaultyFileSystem& fs) : real_(std::move(real)), fs_(fs) {}
        bool Write(const char* data, std::size_t size) override {
            return !fs_.Trip(Fault::Write) && real_->Write(data, size);
        }
        bool Flush() override { return !fs_.Trip(Fault::Flush) && real_->Flush(); }
        bool Close() override {
            const bool closed = real_->Close();
            return !fs_.Trip(Fault::Close) && closed;
        }

    private:
        std::unique_ptr<OutputFile> real_;
        FaultyFileSystem& fs_;
    };

    FileSystem& real_ = RealFileSystem();
    Fault fault_;
    int hits_ = 0;
};

}  // namespace pemberlock::test
