// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/FileSystem.h"
#include "map/KnobControllerMap.h"
#include "patch/PatchDrop.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pemberlock {

// Runs a drop away from the window's thread, so that the window keeps
// painting and can take Stop. The drop's log lines and progress are handed
// to the window's thread in order, in batches, a few times a second; no
// widget is ever touched from the drop's thread.
class DropWorker final : public QObject {
    Q_OBJECT

public:
    explicit DropWorker(QObject* parent = nullptr);
    ~DropWorker() override;

    // Starts a drop of paths (folders are expanded first) with its own copy
    // of map; options' observer, if any, is called from the drop's thread,
    // and so is atEnd, once the drop is over and before Finished.
    void Start(std::vector<std::string> paths, const KnobControllerMap& map, FileSystem& fs,
               const DropOptions& options = {}, std::function<void()> atEnd = {});
    // Stops the drop after the patches in hand.
    void Stop() { stop_ = true; }
    bool Running() const { return thread_.joinable(); }

signals:
    // Text the drop appended to its log, in order, CR LF line ends.
    void Appended(const std::string& text);
    // Paths handled of the total (0 of 0 while folders are read).
    void Progressed(std::uint64_t handled, std::uint64_t total);
    void Finished(const BatchSummary& summary);

private:
    class Pipe;
    void Deliver();

    std::thread thread_;
    std::atomic<bool> stop_ = false;
    std::atomic<bool> done_ = false;
    std::atomic<std::uint64_t> handled_ = 0;
    std::atomic<std::uint64_t> total_ = 0;
    std::mutex mutex_;
    std::string pending_;  // appended by the drop, not yet delivered
    BatchSummary summary_;
    QTimer timer_;
};

}  // namespace pemberlock
