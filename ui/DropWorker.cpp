// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DropWorker.h"

#include "patch/FolderExpansion.h"

namespace pemberlock {
namespace {
// Often enough that the status box and the progress look live.
constexpr int kDeliveryMilliseconds = 50;
}  // namespace

// The drop's side: its log and its observer, both filling what Deliver()
// hands over.
class DropWorker::Pipe final : public StatusLog, public DropObserver {
public:
    Pipe(DropWorker& worker, DropObserver* next) : worker_(worker), next_(next) {}

    void Append(std::string_view text) override {
        const std::lock_guard lock(worker_.mutex_);
        worker_.pending_.append(text);
    }
    void PathDone(const DropPathResult& result, std::uint64_t handled,
                  std::uint64_t total) override {
        worker_.total_ = total;
        worker_.handled_ = handled;
        if (next_) next_->PathDone(result, handled, total);
    }

private:
    DropWorker& worker_;
    DropObserver* next_;
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
                       const DropOptions& options, std::function<void()> atEnd) {
    if (thread_.joinable()) return;
    stop_ = false;
    done_ = false;
    handled_ = 0;
    total_ = 0;
    thread_ = std::thread([this, paths = std::move(paths), map, &fs, options = DropOptions(options),
                           atEnd = std::move(atEnd)]() mutable {
        Pipe pipe(*this, options.observer);
        options.observer = &pipe;
        options.stop = &stop_;
        const std::vector<DropPath> expanded = ExpandFolders(paths, fs);
        total_ = expanded.size();
        BatchSummary summary = RunPatchDrop(expanded, pipe, map, fs, options);
        if (atEnd) atEnd();
        {
            const std::lock_guard lock(mutex_);
            summary_ = std::move(summary);
        }
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
    emit Finished(summary_);
}

}  // namespace pemberlock
