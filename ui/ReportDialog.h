// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drop/DropReportRows.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QSortFilterProxyModel>
#include <QStringList>

#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableView;

namespace pemberlock {

class DialogService;

// A report's rows as a table: the path, the outcome, and why it failed or
// was skipped. Text is made only for the cells asked for.
class DropReportModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { kPath, kOutcome, kReason, kColumnCount };
    static constexpr int kOutcomeRole = Qt::UserRole;

    DropReportModel(const DropReportRows& rows, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const DropReportRows& Rows() const { return rows_; }

private:
    const DropReportRows& rows_;
};

// Which rows of a DropReportModel show: those of one outcome, and those
// whose line or detail holds a text (letters of either case).
class DropReportFilter final : public QSortFilterProxyModel {
    Q_OBJECT

public:
    enum class Show { All, Errors, Rewritten, Skipped };

    explicit DropReportFilter(DropReportModel& model);

    void SetShow(Show show);
    void SetText(const QString& text);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    const DropReportRows& rows_;
    Show show_ = Show::All;
    std::string text_;  // UTF-8, in lower case
};

// The report of a drop or a preview: the summary, what the knobs do across
// a preview's patches, the rows (filtered by outcome and by a search), the
// chosen row's lines below them, and buttons to copy the chosen rows, copy
// or save the whole text, and for a preview to drop its patches (which
// accepts the dialog). Whatever the number of rows it opens at once: only
// the rows in sight are ever turned to text.
class ReportDialog final : public QDialog {
    Q_OBJECT

public:
    // dialogs asks where to save and says when saving failed.
    ReportDialog(QWidget* parent, const QString& title, const DropReportRows& rows,
                 DialogService& dialogs, const QStringList& knobLines = {}, bool offerDrop = false);

private:
    void BuildFilterBar();
    void BuildTable();
    void BuildButtons(bool offerDrop);
    void ShowDetail();
    void AfterFilter();
    void ShowCount();
    void CopySelected();
    void CopyAll();
    void Save();

    const DropReportRows& rows_;
    DialogService& dialogs_;
    DropReportModel* model_ = nullptr;
    DropReportFilter* filter_ = nullptr;
    QComboBox* show_ = nullptr;
    QLineEdit* search_ = nullptr;
    QLabel* count_ = nullptr;
    QPlainTextEdit* knobs_ = nullptr;  // a preview's knob lines, or none
    QTableView* table_ = nullptr;
    QPlainTextEdit* detail_ = nullptr;
    QString lastSaveName_;
};

}  // namespace pemberlock
