// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ReportCommands.h"

#include "drop/DropReport.h"
#include "ui/CorePath.h"
#include "ui/DialogService.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

#include <utility>
#include <vector>

namespace pemberlock {
namespace {

// Shows the busy pointer for as long as it lives.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

ReportCommands::ReportCommands(QMenu& menu, QWidget& window, DialogService& dialogs, FileSystem& fs,
                               const KnobControllerMap& map)
    : QObject(&menu), window_(window), dialogs_(dialogs), fs_(fs), map_(map) {
    menu.addSeparator();
    MnuPreview = menu.addAction(QStringLiteral("&Preview Patches\u2026"));
    MnuPreview->setObjectName(QStringLiteral("MnuPreview"));
    MnuPreview->setStatusTip(QStringLiteral("What a drop would change, without writing anything"));
    connect(MnuPreview, &QAction::triggered, this, [this] { MnuPreview_Click(); });

    MnuReport = menu.addAction(QStringLiteral("Last Drop &Report"));
    MnuReport->setObjectName(QStringLiteral("MnuReport"));
    MnuReport->setStatusTip(QStringLiteral("What the last drop did to each file, and why"));
    MnuReport->setEnabled(false);  // until there is a drop to report
    connect(MnuReport, &QAction::triggered, this, [this] { MnuReport_Click(); });
}

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
    DropReportRows rows;
    {
        BusyCursor busy;  // every chosen patch is read and rewritten in memory
        rows = PreviewDropReport(paths, map_, fs_);
    }
    dialogs_.ShowReport(&window_, QStringLiteral("Preview: nothing is written"), rows);
}

void ReportCommands::MnuReport_Click() {
    dialogs_.ShowReport(&window_, QStringLiteral("Last Drop Report"), lastDropReport_);
}

}  // namespace pemberlock
