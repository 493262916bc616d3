// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drop/PatchDrop.h"
#include "drop/StatusLog.h"
#include "fileio/FileSystem.h"
#include "map/KnobControllerMap.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pemberlock {

// Runs a drop (or an undo) away from the window's thread, so that the
// window keeps painting and can take Stop. The log lines and progress are
// handed to the window's thread in order, in batches, a few times a second;
// no widget is ever touched from the worker's thread.
class DropWorker final : public QObject {
    Q_OBJECT

public:
    using Progress = std::function<void(std::uint64_t handled, std::uint64_t total)>;
    // Work for the worker's thread: it appends to log, says how far it got
    // through progress, and stops after what it has in hand once stop is set.
    using Task = std::function<void(StatusLog& log, const std::atomic<bool>& stop,
                                    const Progress& progress)>;

    explicit DropWorker(QObject* parent = nullptr);
    ~DropWorker() override;

    // Takes, on the drop's thread, what must be held while patches change
    // (the journal's lock; it may wait and say so on log): an Error when the
    // drop is to be given up, changing nothing.
    using Hold = std::function<Result<std::unique_ptr<HeldLock>>(StatusLog& log,
                                                                 const std::atomic<bool>& stop)>;

    // Starts a drop of paths (folders are expanded first) with its own copy
    // of map; options' observer, if any, is called from the drop's thread,
    // and so is atEnd, once the drop is over (or given up) and before
    // Finished. What hold took is held until atEnd has returned. A preview
    // (options.preview) appends nothing: its observer has all it finds.
    void Start(std::vector<std::string> paths, const KnobControllerMap& map, FileSystem& fs,
               const DropOptions& options = {}, std::function<void()> atEnd = {}, Hold hold = {});
    // Starts task instead, unless something runs already.
    void Run(Task task);
    // Stops the work after the patches in hand.
    void Stop() { stop_ = true; }
    bool Running() const { return thread_.joinable(); }

signals:
    // Text the work appended to its log, in order, CR LF line ends.
    void Appended(const std::string& text);
    // Paths handled of the total (0 of 0 while folders are read).
    void Progressed(std::uint64_t handled, std::uint64_t total);
    void Finished();

private:
    class Log;
    class Pipe;
    void Deliver();

    std::thread thread_;
    std::atomic<bool> stop_ = false;
    std::atomic<bool> done_ = false;
    std::atomic<std::uint64_t> handled_ = 0;
    std::atomic<std::uint64_t> total_ = 0;
    std::mutex mutex_;
    std::string pending_;  // appended by the work, not yet delivered
    QTimer timer_;
};

}  // namespace pemberlock
