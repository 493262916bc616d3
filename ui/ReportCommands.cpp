// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ReportCommands.h"

#include "drop/DropReport.h"
#include "drop/PreviewSummary.h"
#include "ui/CorePath.h"
#include "ui/DialogService.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

#include <utility>

namespace pemberlock {

ReportCommands::ReportCommands(QMenu& menu, QWidget& window, DialogService& dialogs, FileSystem& fs,
                               const KnobControllerMap& map, RunDrop run, Drop drop,
                               Previewed previewed)
    : QObject(&menu),
      window_(window),
      dialogs_(dialogs),
      fs_(fs),
      map_(map),
      run_(std::move(run)),
      drop_(std::move(drop)),
      previewed_(std::move(previewed)),
      previewRows_(true) {
    menu.addSeparator();
    MnuPreview = menu.addAction(QStringLiteral("&Preview Patches\u2026"));
    MnuPreview->setObjectName(QStringLiteral("MnuPreview"));
    MnuPreview->setStatusTip(QStringLiteral("What a drop would change, without writing anything"));
    connect(MnuPreview, &QAction::triggered, this, [this] { MnuPreview_Click(); });

    MnuPreviewFolder = menu.addAction(QStringLiteral("Preview &Folder\u2026"));
    MnuPreviewFolder->setObjectName(QStringLiteral("MnuPreviewFolder"));
    MnuPreviewFolder->setStatusTip(
        QStringLiteral("What a drop of a folder would change, without writing anything"));
    connect(MnuPreviewFolder, &QAction::triggered, this, [this] { MnuPreviewFolder_Click(); });

    MnuReport = menu.addAction(QStringLiteral("Last Drop &Report"));
    MnuReport->setObjectName(QStringLiteral("MnuReport"));
    MnuReport->setStatusTip(QStringLiteral("What the last drop did to each file, and why"));
    MnuReport->setEnabled(false);  // until there is a drop to report
    connect(MnuReport, &QAction::triggered, this, [this] { MnuReport_Click(); });
}

ReportCommands::~ReportCommands() = default;

void ReportCommands::SetLastDropReport(DropReportRows rows) {
    lastDropReport_ = std::move(rows);
    MnuReport->setEnabled(true);
}

void ReportCommands::MnuPreview_Click() {
    const QStringList chosen = dialogs_.GetOpenFileNames(&window_, lastPatchName_, kPatchFilter);
    if (chosen.isEmpty()) return;
    lastPatchName_ = chosen.front();
    std::vector<std::string> paths;
    for (const QString& path : chosen) paths.push_back(CorePath(path));
    StartPreview(std::move(paths));
}

void ReportCommands::MnuPreviewFolder_Click() {
    const std::optional<QString> chosen = dialogs_.GetExistingDirectory(&window_, lastFolderName_);
    if (!chosen) return;
    lastFolderName_ = *chosen;
    StartPreview({CorePath(*chosen)});
}

void ReportCommands::StartPreview(std::vector<std::string> paths) {
    // What the report and the summary keep is all that grows with the
    // patches: every patch is read and rewritten in memory, then let go.
    previewSummary_ = std::make_unique<PreviewSummary>();
    previewCollector_ = std::make_unique<DropReportCollector>(previewSummary_.get(), true);
    DropOptions options;
    options.preview = true;
    options.observer = previewCollector_.get();
    previewPaths_ = paths;
    // Menus wait while work runs, so the map cannot change until it ends.
    previewMap_ = map_;
    if (!run_(std::move(paths), options, [this] { PreviewEnded(); })) {
        previewCollector_.reset();
        previewSummary_.reset();
    }
}

void ReportCommands::PreviewEnded() {
    // The worker's thread has ended: what it gathered is this thread's now.
    previewRows_ = previewCollector_->TakeRows();
    previewKnobs_.clear();
    for (const std::string& line : previewSummary_->Lines()) {
        previewKnobs_ << QString::fromStdString(line);
    }
    previewCollector_.reset();
    previewSummary_.reset();
    if (previewed_) previewed_(previewRows_);
    // Shown once the window has taken back its controls, so that a drop
    // chosen in it starts as any other.
    QMetaObject::invokeMethod(
        this, [this] { ShowPreview(); }, Qt::QueuedConnection);
}

void ReportCommands::ShowPreview() {
    if (!window_.isVisible()) return;  // closed while the preview ran
    // A stopped preview did not see every patch: no drop is offered on it.
    const bool offerDrop = !previewRows_.Stopped() && previewRows_.Count() > 0;
    const bool drop = dialogs_.ShowPreview(&window_, QStringLiteral("Preview: nothing is written"),
                                           previewRows_, previewKnobs_, offerDrop);
    // The rows of a large library run to megabytes: kept no longer than shown.
    previewRows_ = DropReportRows(true);
    if (!drop || !offerDrop) return;
    if (map_ != previewMap_) {
        // The drop would not be the one shown.
        dialogs_.ShowMessage(
            &window_, QStringLiteral("The map changed since this preview; previewing again."));
        StartPreview(previewPaths_);
        return;
    }
    drop_(previewPaths_);
}

void ReportCommands::MnuReport_Click() {
    dialogs_.ShowReport(&window_, QStringLiteral("Last Drop Report"), lastDropReport_);
}

}  // namespace pemberlock
