// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/UndoHistoryDialog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace pemberlock {

QString DropStateText(const RecordedDrop& drop) {
    using State = RecordedDrop::State;
    switch (drop.state()) {
        case State::Done: break;
        case State::Undone: return QStringLiteral("undone");
        case State::PartlyUndone: return QStringLiteral("partly undone");
        case State::PartlyRecorded: return QStringLiteral("partly recorded");
        case State::Damaged:
            return QStringLiteral("damaged (%1)").arg(QString::fromStdString(drop.damage));
    }
    return QStringLiteral("done");
}

UndoHistoryDialog::UndoHistoryDialog(QWidget* parent, const std::vector<RecordedDrop>& drops)
    : QDialog(parent), drops_(drops) {
    setObjectName(QStringLiteral("UndoHistoryDialog"));
    setWindowTitle(QStringLiteral("Undo History"));
    auto* layout = new QVBoxLayout(this);
    auto* caption =
        new QLabel(drops.empty() ? QStringLiteral("No drop is recorded.")
                                 : QStringLiteral("The drops recorded by this program and by "
                                                  "pemberlock-cli, newest first:"),
                   this);
    layout->addWidget(caption);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("DropList"));
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels({QStringLiteral("Drop"), QStringLiteral("When"),
                            QStringLiteral("Program"), QStringLiteral("Patches"),
                            QStringLiteral("State"), QStringLiteral("Folder")});
    list_->setAccessibleName(QStringLiteral("Recorded drops"));
    for (const RecordedDrop& drop : drops) {
        auto* row = new QTreeWidgetItem(list_);
        row->setText(0, QString::number(drop.number));
        row->setText(1, QDateTime::fromSecsSinceEpoch(drop.started)
                            .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        row->setText(2, QString::fromStdString(drop.program));
        row->setText(3, QString::number(drop.patches));
        row->setText(4, DropStateText(drop));
        row->setText(5, QString::fromStdString(drop.folder));
        row->setToolTip(5, row->text(5));
        row->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
        row->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
    }
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    caption->setBuddy(list_);
    layout->addWidget(list_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    undo_ = buttons->addButton(QStringLiteral("&Undo"), QDialogButtonBox::ActionRole);
    undo_->setObjectName(QStringLiteral("UndoDrop"));
    redo_ = buttons->addButton(QStringLiteral("&Redo"), QDialogButtonBox::ActionRole);
    redo_->setObjectName(QStringLiteral("RedoDrop"));
    connect(undo_, &QPushButton::clicked, this, [this] { Choose(true); });
    connect(redo_, &QPushButton::clicked, this, [this] { Choose(false); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
    if (!drops.empty()) list_->setCurrentItem(list_->topLevelItem(0));
    SelectionChanged();
    resize(720, 320);
}

void UndoHistoryDialog::SelectionChanged() {
    const int row = list_->currentItem() ? list_->indexOfTopLevelItem(list_->currentItem()) : -1;
    const RecordedDrop* drop = row >= 0 ? &drops_[static_cast<std::size_t>(row)] : nullptr;
    // A damaged record is still offered: the journal says why it refuses.
    undo_->setEnabled(drop != nullptr && !drop->undone);
    redo_->setEnabled(drop != nullptr && drop->redoable());
}

void UndoHistoryDialog::Choose(bool undo) {
    const int row = list_->currentItem() ? list_->indexOfTopLevelItem(list_->currentItem()) : -1;
    if (row < 0) return;
    choice_ = HistoryChoice{drops_[static_cast<std::size_t>(row)].number, undo};
    accept();
}

}  // namespace pemberlock
