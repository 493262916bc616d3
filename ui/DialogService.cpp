// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DialogService.h"

#include "ui/ReportDialog.h"
#include "ui/UndoHistoryDialog.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace pemberlock {

namespace {

std::optional<QString> Chosen(const QString& name) {
    if (name.isEmpty()) return std::nullopt;  // the dialogs return nothing on cancel
    return name;
}

}  // namespace

std::optional<QString> QtDialogService::GetOpenFileName(QWidget* parent, const QString& initialName,
                                                        const QString& filter) {
    return Chosen(QFileDialog::getOpenFileName(parent, QString(), initialName, filter));
}

std::optional<QString> QtDialogService::GetSaveFileName(QWidget* parent, const QString& initialName,
                                                        const QString& filter) {
    // The name is taken as typed: no suffix is added and overwriting is not questioned.
    return Chosen(QFileDialog::getSaveFileName(parent, QString(), initialName, filter, nullptr,
                                               QFileDialog::DontConfirmOverwrite));
}

QStringList QtDialogService::GetOpenFileNames(QWidget* parent, const QString& initialName,
                                              const QString& filter) {
    return QFileDialog::getOpenFileNames(parent, QString(), initialName, filter);
}

std::optional<QString> QtDialogService::GetExistingDirectory(QWidget* parent,
                                                             const QString& initialName) {
    return Chosen(QFileDialog::getExistingDirectory(parent, QString(), initialName));
}

void QtDialogService::ShowMessage(QWidget* parent, const QString& text, const QString& details) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Pemberlock"), text, QMessageBox::Ok,
                    parent);
    box.setInformativeText(details);
    box.exec();
}

bool QtDialogService::Confirm(QWidget* parent, const QString& question, const QString& proceed) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Pemberlock"), question,
                    QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(proceed, QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == yes;
}

void QtDialogService::ShowAbout(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::about(parent, title, text);
}

void QtDialogService::ShowReport(QWidget* parent, const QString& title,
                                 const DropReportRows& rows) {
    ReportDialog dialog(parent, title, rows, *this);
    dialog.exec();
}

bool QtDialogService::ShowPreview(QWidget* parent, const QString& title, const DropReportRows& rows,
                                  const QStringList& knobLines, bool offerDrop) {
    ReportDialog dialog(parent, title, rows, *this, knobLines, offerDrop);
    return dialog.exec() == QDialog::Accepted;
}

std::optional<HistoryChoice> QtDialogService::ChooseFromHistory(
    QWidget* parent, const std::vector<RecordedDrop>& drops) {
    UndoHistoryDialog dialog(parent, drops);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Choice();
}

}  // namespace pemberlock
