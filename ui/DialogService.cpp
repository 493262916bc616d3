// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DialogService.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

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

void QtDialogService::ShowMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Pemberlock"), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

void QtDialogService::ShowAbout(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::about(parent, title, text);
}

void QtDialogService::ShowReport(QWidget* parent, const QString& title, const QString& text) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("ReportDialog"));
    dialog.setWindowTitle(title);
    dialog.setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(&dialog);

    auto* view = new QPlainTextEdit(&dialog);
    view->setObjectName(QStringLiteral("ReportText"));
    view->setAccessibleName(title);
    view->setReadOnly(true);
    // Read-only text is selectable by mouse alone unless told otherwise.
    view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // It reads as it would in a terminal; a long path stays on one line.
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The report of a drop of thousands of patches takes a moment to lay out.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    view->setPlainText(text);
    QApplication::restoreOverrideCursor();
    layout->addWidget(view);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QPushButton* copy =
        buttons->addButton(QStringLiteral("Copy &All"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("ReportCopy"));
    QObject::connect(copy, &QPushButton::clicked, &dialog,
                     [text] { QApplication::clipboard()->setText(text); });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);

    dialog.resize(720, 460);
    view->setFocus();
    dialog.exec();
}

}  // namespace pemberlock
