// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drop/DropReportRows.h"
#include "journal/UndoJournal.h"
#include "ui/DialogService.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace pemberlock::test {

// Answers the window's dialogs from a script and records what was asked.
class ScriptedDialogService final : public DialogService {
public:
    struct FileRequest {
        QString kind;  // "open", "open several", "save" or "folder"
        QString initialName;
        QString filter;
    };

    void setNextFileName(const QString& name) { answers_.emplace_back(name); }
    void setNextCancel() { answers_.emplace_back(std::nullopt); }

    std::optional<QString> GetOpenFileName(QWidget*, const QString& initialName,
                                           const QString& filter) override {
        return Answer({QStringLiteral("open"), initialName, filter});
    }
    std::optional<QString> GetSaveFileName(QWidget*, const QString& initialName,
                                           const QString& filter) override {
        return Answer({QStringLiteral("save"), initialName, filter});
    }
    // Answered by the next scripted name, split at '|' into several.
    QStringList GetOpenFileNames(QWidget*, const QString& initialName,
                                 const QString& filter) override {
        const std::optional<QString> names =
            Answer({QStringLiteral("open several"), initialName, filter});
        return names ? names->split(QLatin1Char('|')) : QStringList();
    }
    std::optional<QString> GetExistingDirectory(QWidget*, const QString& initialName) override {
        return Answer({QStringLiteral("folder"), initialName, {}});
    }
    using DialogService::ShowMessage;
    // The text in messages, what is shown beneath it in details, one each.
    void ShowMessage(QWidget*, const QString& text, const QString& shownBeneath) override {
        messages.append(text);
        details.append(shownBeneath);
    }
    // Answered by the next scripted answer; unscripted, as Cancel.
    bool Confirm(QWidget*, const QString& question, const QString& proceed) override {
        questions.append({question, proceed});
        if (confirmations_.empty()) {
            ++unanswered;
            return false;
        }
        const bool yes = confirmations_.front();
        confirmations_.pop_front();
        return yes;
    }
    void setNextConfirm(bool proceed) { confirmations_.push_back(proceed); }
    void ShowAbout(QWidget*, const QString& title, const QString& text) override {
        abouts.append({title, text});
    }
    // Kept as the whole text the dialog would copy.
    void ShowReport(QWidget*, const QString& title, const DropReportRows& rows) override {
        reports.append({title, QString::fromStdString(rows.Text()), rows.Count(), {}, false});
    }

    // Kept as reports are, with the knobs' lines; duringPreview, when set,
    // runs once while it is open. Answered by the next scripted choice;
    // unscripted, as Close.
    bool ShowPreview(QWidget*, const QString& title, const DropReportRows& rows,
                     const QStringList& knobLines, bool offerDrop) override {
        reports.append({title, QString::fromStdString(rows.Text()), rows.Count(),
                        knobLines.join(QLatin1Char('\n')), offerDrop});
        if (const auto during = std::exchange(duringPreview, nullptr)) during();
        if (dropChoices_.empty()) return false;
        const bool drop = dropChoices_.front();
        dropChoices_.pop_front();
        return drop;
    }
    void setNextPreviewDrop(bool drop) { dropChoices_.push_back(drop); }

    // Keeps the drops shown; answers with historyAnswer, once.
    std::optional<HistoryChoice> ChooseFromHistory(
        QWidget*, const std::vector<RecordedDrop>& drops) override {
        histories.push_back(drops);
        return std::exchange(historyAnswer, std::nullopt);
    }

    struct Report {
        QString title;
        QString text;
        std::size_t rows = 0;
        QString knobs;           // a preview's knob lines, one a line
        bool offerDrop = false;  // a preview offered to drop its patches
    };

    std::deque<FileRequest> requests;
    QStringList messages;
    QStringList details;
    QList<QStringList> questions;  // the question and the button that goes ahead, of each
    QList<QStringList> abouts;     // title and text of each About box
    QList<Report> reports;
    std::vector<std::vector<RecordedDrop>> histories;
    std::optional<HistoryChoice> historyAnswer;
    std::function<void()> duringPreview;
    int unanswered = 0;  // dialogs shown with no answer scripted

private:
    std::optional<QString> Answer(FileRequest request) {
        requests.push_back(std::move(request));
        if (answers_.empty()) {
            ++unanswered;
            return std::nullopt;
        }
        // Copying the optional itself trips a false maybe-uninitialized warning in g++ 12 at -O2.
        const bool chosen = answers_.front().has_value();
        const QString name = answers_.front().value_or(QString());
        answers_.pop_front();
        if (!chosen) return std::nullopt;
        return name;
    }

    std::deque<std::optional<QString>> answers_;
    std::deque<bool> confirmations_;
    std::deque<bool> dropChoices_;
};

}  // namespace pemberlock::test
