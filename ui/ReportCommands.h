// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drop/DropReportRows.h"
#include "fileio/FileSystem.h"
#include "map/KnobControllerMap.h"

#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QWidget;

namespace pemberlock {

class DialogService;

// "Preview Patches…" and "Last Drop Report" at the end of a menu: what a
// drop of chosen patches would do, without writing anything, and what the
// last drop did, each shown as a report the user can read and copy.
class ReportCommands final : public QObject {
    Q_OBJECT

public:
    static inline const QString kPatchFilter = QStringLiteral("Patches (*.pch)");

    // Adds the commands to menu, after a separator; reports open over window.
    ReportCommands(QMenu& menu, QWidget& window, DialogService& dialogs, FileSystem& fs,
                   const KnobControllerMap& map);

    // Keeps the report of the drop just done, for "Last Drop Report", in
    // place of the one before.
    void SetLastDropReport(DropReportRows rows);
    const DropReportRows& LastDropReport() const { return lastDropReport_; }

private:
    void MnuPreview_Click();
    void MnuReport_Click();

    QWidget& window_;
    DialogService& dialogs_;
    FileSystem& fs_;
    const KnobControllerMap& map_;
    QAction* MnuPreview = nullptr;
    QAction* MnuReport = nullptr;
    QString lastPatchName_;  // offered by the next preview's dialog
    DropReportRows lastDropReport_;
};

}  // namespace pemberlock
