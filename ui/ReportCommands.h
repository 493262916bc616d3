// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drop/DropReportRows.h"
#include "drop/PatchDrop.h"
#include "fileio/FileSystem.h"
#include "map/KnobControllerMap.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QWidget;

namespace pemberlock {

class DialogService;
class DropReportCollector;
class PreviewSummary;

// "Preview Patches…", "Preview Folder…" and "Last Drop Report" at the end
// of a menu: what a drop of chosen patches or folders would do, without
// writing anything, and what the last drop did, each shown as a report the
// user can read and copy. A preview runs as a drop does, away from the
// window's thread, and its report offers to drop the patches it shows.
class ReportCommands final : public QObject {
    Q_OBJECT

public:
    static inline const QString kPatchFilter = QStringLiteral("Patches (*.pch)");

    // Runs a drop of paths with options on the window's worker, as a drop
    // runs, and then done on the window's thread; false when something
    // runs already.
    using RunDrop = std::function<bool(std::vector<std::string> paths, const DropOptions& options,
                                       std::function<void()> done)>;
    // Drops paths as the window drops what is dropped on it.
    using Drop = std::function<void(std::vector<std::string> paths)>;
    // Hears of each preview's report once it is in.
    using Previewed = std::function<void(const DropReportRows& rows)>;

    // Adds the commands to menu, after a separator; reports open over window.
    ReportCommands(QMenu& menu, QWidget& window, DialogService& dialogs, FileSystem& fs,
                   const KnobControllerMap& map, RunDrop run, Drop drop, Previewed previewed);
    ~ReportCommands() override;

    // Keeps the report of the drop just done, for "Last Drop Report", in
    // place of the one before.
    void SetLastDropReport(DropReportRows rows);
    const DropReportRows& LastDropReport() const { return lastDropReport_; }

private:
    void MnuPreview_Click();
    void MnuPreviewFolder_Click();
    void MnuReport_Click();
    void StartPreview(std::vector<std::string> paths);
    void PreviewEnded();
    void ShowPreview();

    QWidget& window_;
    DialogService& dialogs_;
    FileSystem& fs_;
    const KnobControllerMap& map_;
    RunDrop run_;
    Drop drop_;
    Previewed previewed_;
    QAction* MnuPreview = nullptr;
    QAction* MnuPreviewFolder = nullptr;
    QAction* MnuReport = nullptr;
    QString lastPatchName_;   // offered by the next preview's file dialog
    QString lastFolderName_;  // offered by the next preview's folder dialog
    DropReportRows lastDropReport_;

    // The preview running or last shown: what was asked, with which map,
    // and what it found. Gathered on the worker's thread while it runs.
    std::vector<std::string> previewPaths_;
    KnobControllerMap previewMap_;
    std::unique_ptr<PreviewSummary> previewSummary_;
    std::unique_ptr<DropReportCollector> previewCollector_;
    DropReportRows previewRows_;
    QStringList previewKnobs_;
};

}  // namespace pemberlock
