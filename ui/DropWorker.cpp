// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DropWorker.h"

#include "drop/FolderExpansion.h"

namespace pemberlock {
namespace {
// Often enough that the status box and the progress look live.
constexpr int kDeliveryMilliseconds = 50;
}  // namespace

// The work's log, filling what Deliver() hands over.
class DropWorker::Log final : public StatusLog {
public:
    explicit Log(DropWorker& worker) : worker_(worker) {}
    void Append(std::string_view text) override {
        const std::lock_guard lock(worker_.mutex_);
        worker_.pending_.append(text);
    }

private:
    DropWorker& worker_;
};

// A drop's progress, and the observer it had before.
class DropWorker::Pipe final : public DropObserver {
public:
    Pipe(DropObserver* next, const Progress& progress) : next_(next), progress_(progress) {}
    void PathDone(const DropPathResult& result, std::uint64_t handled,
                  std::uint64_t total) override {
        progress_(handled, total);
        if (next_) next_->PathDone(result, handled, total);
    }
    void Ended(std::uint64_t handled, std::uint64_t total) override {
        if (next_) next_->Ended(handled, total);
    }

private:
    DropObserver* next_;
    const Progress& progress_;
};

DropWorker::DropWorker(QObject* parent) : QObject(parent) {
    timer_.setInterval(kDeliveryMilliseconds);
    connect(&timer_, &QTimer::timeout, this, [this] { Deliver(); });
}

DropWorker::~DropWorker() {
    if (!thread_.joinable()) return;
    stop_ = true;
    thread_.join();
}

void DropWorker::Start(std::vector<std::string> paths, const KnobControllerMap& map, FileSystem& fs,
                       const DropOptions& options, std::function<void()> atEnd, Hold hold) {
    Run([paths = std::move(paths), map, &fs, options = DropOptions(options),
         atEnd = std::move(atEnd), hold = std::move(hold)](
            StatusLog& log, const std::atomic<bool>& stop, const Progress& progress) mutable {
        std::unique_ptr<HeldLock> held;
        if (hold) {
            Result<std::unique_ptr<HeldLock>> taken = hold(log, stop);
            if (!taken) {
                if (atEnd) atEnd();
                return;
            }
            held = std::move(*taken);
        }
        Pipe pipe(options.observer, progress);
        options.observer = &pipe;
        options.stop = &stop;
        const std::vector<DropPath> expanded = ExpandFolders(paths, fs);
        progress(0, expanded.size());
        // A preview's lines are its report's; the status box is the drops'.
        NullStatusLog noLog;
        RunPatchDrop(expanded, options.preview ? noLog : log, map, fs, options);
        if (atEnd) atEnd();
    });
}

void DropWorker::Run(Task task) {
    if (thread_.joinable()) return;
    stop_ = false;
    done_ = false;
    handled_ = 0;
    total_ = 0;
    thread_ = std::thread([this, task = std::move(task)] {
        Log log(*this);
        task(log, stop_, [this](std::uint64_t handled, std::uint64_t total) {
            total_ = total;
            handled_ = handled;
        });
        done_ = true;
        // The end is handed over at once rather than at the next tick.
        QMetaObject::invokeMethod(
            this, [this] { Deliver(); }, Qt::QueuedConnection);
    });
    timer_.start();
}

void DropWorker::Deliver() {
    if (!thread_.joinable()) return;  // the end was handed over already
    const bool finished = done_;      // read first: all it covers is in pending_ then
    std::string text;
    {
        const std::lock_guard lock(mutex_);
        text.swap(pending_);
    }
    if (!text.empty()) emit Appended(text);
    emit Progressed(handled_, total_);
    if (!finished) return;
    timer_.stop();
    thread_.join();
    emit Finished();
}

}  // namespace pemberlock
