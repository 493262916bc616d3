// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

class QWidget;

namespace pemberlock {

class DropReportRows;
struct RecordedDrop;

// A drop chosen in the Undo History dialog, and what to do with it.
struct HistoryChoice {
    std::uint64_t drop = 0;
    bool undo = true;  // false: redo it
};

// The window's modal dialogs, behind an interface so that tests can answer
// them without a person and without blocking.
class DialogService {
public:
    virtual ~DialogService() = default;

    // The chosen file name, or nothing when the user cancelled.
    virtual std::optional<QString> GetOpenFileName(QWidget* parent, const QString& initialName,
                                                   const QString& filter) = 0;
    virtual std::optional<QString> GetSaveFileName(QWidget* parent, const QString& initialName,
                                                   const QString& filter) = 0;
    // Several existing files; empty when the user cancelled.
    virtual QStringList GetOpenFileNames(QWidget* parent, const QString& initialName,
                                         const QString& filter) = 0;
    // An existing folder, initialName chosen at first; nothing when the
    // user cancelled.
    virtual std::optional<QString> GetExistingDirectory(QWidget* parent,
                                                        const QString& initialName) = 0;
    // A message with a single OK button; details, when not empty, is the
    // reason behind it, shown beneath.
    virtual void ShowMessage(QWidget* parent, const QString& text, const QString& details) = 0;
    void ShowMessage(QWidget* parent, const QString& text) { ShowMessage(parent, text, {}); }
    // A question with two buttons, proceed (such as "Drop") and Cancel: true
    // when the user chose to proceed.
    virtual bool Confirm(QWidget* parent, const QString& question, const QString& proceed) = 0;
    // What the program is: its name, version and licence (rich text), with an OK button.
    virtual void ShowAbout(QWidget* parent, const QString& title, const QString& text) = 0;
    // The report of a drop, a row per path, to read, filter, copy and save.
    virtual void ShowReport(QWidget* parent, const QString& title, const DropReportRows& rows) = 0;
    // A preview's report, with knobLines (what the knobs do across its
    // patches) above its rows, and, when offerDrop, a button to drop the
    // patches previewed: true when the user chose it.
    virtual bool ShowPreview(QWidget* parent, const QString& title, const DropReportRows& rows,
                             const QStringList& knobLines, bool offerDrop) = 0;
    // The journal's drops, newest first, to undo or redo one; nothing when
    // the user closed it.
    virtual std::optional<HistoryChoice> ChooseFromHistory(
        QWidget* parent, const std::vector<RecordedDrop>& drops) = 0;
};

// The platform's file dialogs and message box.
class QtDialogService : public DialogService {
public:
    std::optional<QString> GetOpenFileName(QWidget* parent, const QString& initialName,
                                           const QString& filter) override;
    std::optional<QString> GetSaveFileName(QWidget* parent, const QString& initialName,
                                           const QString& filter) override;
    QStringList GetOpenFileNames(QWidget* parent, const QString& initialName,
                                 const QString& filter) override;
    std::optional<QString> GetExistingDirectory(QWidget* parent,
                                                const QString& initialName) override;
    using DialogService::ShowMessage;
    void ShowMessage(QWidget* parent, const QString& text, const QString& details) override;
    // Cancel is the default button, so that Enter alone does not go ahead.
    bool Confirm(QWidget* parent, const QString& question, const QString& proceed) override;
    void ShowAbout(QWidget* parent, const QString& title, const QString& text) override;
    // A ReportDialog, which asks this service where to save.
    void ShowReport(QWidget* parent, const QString& title, const DropReportRows& rows) override;
    bool ShowPreview(QWidget* parent, const QString& title, const DropReportRows& rows,
                     const QStringList& knobLines, bool offerDrop) override;
    std::optional<HistoryChoice> ChooseFromHistory(QWidget* parent,
                                                   const std::vector<RecordedDrop>& drops) override;
};

}  // namespace pemberlock
