// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ReportDialog.h"

#include "ui/DialogService.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QTableView>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>
#include <string_view>

namespace pemberlock {
namespace {

using Outcome = DropReportRows::Outcome;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether text holds lowerNeedle, English letters of either case.
bool Holds(std::string_view text, std::string_view lowerNeedle) {
    return std::search(text.begin(), text.end(), lowerNeedle.begin(), lowerNeedle.end(),
                       [](char a, char b) { return Lower(a) == b; }) != text.end();
}

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

DropReportModel::DropReportModel(const DropReportRows& rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows) {}

int DropReportModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.Count());
}

int DropReportModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant DropReportModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const auto row = static_cast<std::size_t>(index.row());
    if (role == kOutcomeRole) return static_cast<int>(rows_.OutcomeOf(row));
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    switch (index.column()) {
        case kPath: return FromUtf8(rows_.PathOf(row));
        case kOutcome: return FromUtf8(rows_.OutcomeWords(row));
        case kReason: return FromUtf8(rows_.ReasonOf(row));
        default: return {};
    }
}

QVariant DropReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case kPath: return QStringLiteral("File");
        case kOutcome: return QStringLiteral("Outcome");
        case kReason: return QStringLiteral("Reason");
        default: return {};
    }
}

DropReportFilter::DropReportFilter(DropReportModel& model)
    : QSortFilterProxyModel(&model), rows_(model.Rows()) {
    setSourceModel(&model);
}

void DropReportFilter::SetShow(Show show) {
    show_ = show;
    invalidateRowsFilter();
}

void DropReportFilter::SetText(const QString& text) {
    text_ = text.toStdString();
    for (char& c : text_) c = Lower(c);
    invalidateRowsFilter();
}

bool DropReportFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    const auto row = static_cast<std::size_t>(sourceRow);
    const Outcome outcome = rows_.OutcomeOf(row);
    switch (show_) {
        case Show::All: break;
        case Show::Errors:
            if (outcome != Outcome::Failed) return false;
            break;
        case Show::Rewritten:
            if (outcome != Outcome::Rewritten) return false;
            break;
        case Show::Skipped:
            if (outcome != Outcome::Skipped) return false;
            break;
    }
    if (text_.empty()) return true;
    return Holds(rows_.HeadLine(row), text_) || Holds(rows_.Detail(row), text_);
}

ReportDialog::ReportDialog(QWidget* parent, const QString& title, const DropReportRows& rows,
                           DialogService& dialogs, const QStringList& knobLines, bool offerDrop)
    : QDialog(parent), rows_(rows), dialogs_(dialogs) {
    setObjectName(QStringLiteral("ReportDialog"));
    setWindowTitle(title);
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);

    auto* summary = new QLabel(QString::fromStdString(rows.Summary()).trimmed(), this);
    summary->setObjectName(QStringLiteral("ReportSummary"));
    summary->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(summary);

    if (!knobLines.isEmpty()) {
        // Before the rows: what the whole preview does, then each patch.
        knobs_ = new QPlainTextEdit(knobLines.join(QLatin1Char('\n')), this);
        knobs_->setObjectName(QStringLiteral("PreviewKnobs"));
        knobs_->setAccessibleName(QStringLiteral("Knobs across the patches"));
        knobs_->setReadOnly(true);
        knobs_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        knobs_->setLineWrapMode(QPlainTextEdit::NoWrap);
        knobs_->setTabChangesFocus(true);
        // Six lines in sight, the rest a scroll away.
        const int margins = knobs_->frameWidth() + int(knobs_->document()->documentMargin());
        knobs_->setFixedHeight(knobs_->fontMetrics().lineSpacing() * 6 + 2 * margins);
        layout->addWidget(knobs_);
    }

    model_ = new DropReportModel(rows, this);
    filter_ = new DropReportFilter(*model_);
    BuildFilterBar();
    BuildTable();
    BuildButtons(offerDrop);
    ShowCount();

    resize(820, 520);
    // The first row is chosen, so that its lines show and the arrows move from it.
    if (filter_->rowCount() > 0) table_->setCurrentIndex(filter_->index(0, 0));
    table_->setFocus();
}

void ReportDialog::BuildFilterBar() {
    auto* bar = new QHBoxLayout();
    show_ = new QComboBox(this);
    show_->setObjectName(QStringLiteral("ReportShow"));
    show_->addItems({QStringLiteral("All"), QStringLiteral("Errors only"),
                     QStringLiteral("Rewritten"), QStringLiteral("Skipped")});
    auto* showLabel = new QLabel(QStringLiteral("S&how:"), this);
    showLabel->setBuddy(show_);
    connect(show_, &QComboBox::currentIndexChanged, this, [this](int index) {
        filter_->SetShow(static_cast<DropReportFilter::Show>(index));
        AfterFilter();
    });

    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("ReportSearch"));
    search_->setPlaceholderText(QStringLiteral("Path or detail"));
    search_->setClearButtonEnabled(true);
    auto* searchLabel = new QLabel(QStringLiteral("S&earch:"), this);
    searchLabel->setBuddy(search_);
    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
        filter_->SetText(text);
        AfterFilter();
    });

    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("ReportCount"));
    bar->addWidget(showLabel);
    bar->addWidget(show_);
    bar->addSpacing(12);
    bar->addWidget(searchLabel);
    bar->addWidget(search_, 1);
    bar->addSpacing(12);
    bar->addWidget(count_);
    static_cast<QVBoxLayout*>(layout())->addLayout(bar);
}

void ReportDialog::BuildTable() {
    auto* split = new QSplitter(Qt::Vertical, this);
    table_ = new QTableView(split);
    table_->setObjectName(QStringLiteral("ReportRows"));
    table_->setAccessibleName(windowTitle());
    table_->setModel(filter_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setTabKeyNavigation(false);  // Tab leaves the table, as elsewhere in the dialog
    table_->setShowGrid(false);
    table_->setWordWrap(false);
    table_->setTextElideMode(Qt::ElideMiddle);  // the file's name stays in sight
    // One height for every row and no column measured from its cells: the
    // view lays out any number of rows at once.
    QHeaderView* rowsHeader = table_->verticalHeader();
    rowsHeader->hide();
    rowsHeader->setSectionResizeMode(QHeaderView::Fixed);
    rowsHeader->setDefaultSectionSize(fontMetrics().height() + 6);
    QHeaderView* columns = table_->horizontalHeader();
    columns->setStretchLastSection(true);
    columns->resizeSection(DropReportModel::kPath, 460);
    columns->resizeSection(
        DropReportModel::kOutcome,
        fontMetrics().horizontalAdvance(QStringLiteral("would be rewritten")) + 24);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { ShowDetail(); });

    auto* copy = new QAction(QStringLiteral("Copy"), table_);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, [this] { CopySelected(); });
    table_->addAction(copy);

    detail_ = new QPlainTextEdit(split);
    detail_->setObjectName(QStringLiteral("ReportDetail"));
    detail_->setAccessibleName(QStringLiteral("Chosen file"));
    detail_->setReadOnly(true);
    detail_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // It reads as it would in a terminal; a long path stays on one line.
    detail_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    detail_->setLineWrapMode(QPlainTextEdit::NoWrap);
    detail_->setTabChangesFocus(true);
    split->addWidget(table_);
    split->addWidget(detail_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    layout()->addWidget(split);
}

void ReportDialog::BuildButtons(bool offerDrop) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    const auto add = [&](const QString& text, const char* name, void (ReportDialog::*click)()) {
        QPushButton* button = buttons->addButton(text, QDialogButtonBox::ActionRole);
        button->setObjectName(QString::fromLatin1(name));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, click);
        return button;
    };
    QPushButton* copy =
        add(QStringLiteral("&Copy"), "ReportCopySelected", &ReportDialog::CopySelected);
    QPushButton* all = add(QStringLiteral("Copy &All"), "ReportCopy", &ReportDialog::CopyAll);
    QPushButton* save = add(QStringLiteral("&Save\u2026"), "ReportSave", &ReportDialog::Save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout()->addWidget(buttons);
    QPushButton* drop = nullptr;
    if (offerDrop) {
        drop =
            buttons->addButton(QStringLiteral("&Drop These Patches"), QDialogButtonBox::AcceptRole);
        drop->setObjectName(QStringLiteral("PreviewDrop"));
        // Enter closes: a key pressed out of habit must not rewrite a
        // library (the button box would make the first accepting button
        // the default one).
        drop->setAutoDefault(false);
        buttons->button(QDialogButtonBox::Close)->setDefault(true);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    }

    if (knobs_) setTabOrder(knobs_, show_);
    setTabOrder(show_, search_);
    setTabOrder(search_, table_);
    setTabOrder(table_, detail_);
    setTabOrder(detail_, copy);
    setTabOrder(copy, all);
    setTabOrder(all, save);
    if (drop) {
        setTabOrder(save, drop);
        setTabOrder(drop, buttons->button(QDialogButtonBox::Close));
    } else {
        setTabOrder(save, buttons->button(QDialogButtonBox::Close));
    }
}

void ReportDialog::ShowDetail() {
    const QModelIndex current = table_->currentIndex();
    if (!current.isValid()) return detail_->clear();
    std::string text;
    rows_.AppendText(static_cast<std::size_t>(filter_->mapToSource(current).row()), text);
    detail_->setPlainText(QString::fromStdString(text));
}

void ReportDialog::AfterFilter() {
    ShowCount();
    // The chosen row may have gone; the first one shown takes its place.
    if (!table_->currentIndex().isValid() && filter_->rowCount() > 0) {
        table_->setCurrentIndex(filter_->index(0, 0));
    }
    ShowDetail();
}

void ReportDialog::ShowCount() {
    const int shown = filter_->rowCount();
    const auto all = static_cast<qsizetype>(rows_.Count());
    const QString files = all == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(all);
    count_->setText(shown == all ? files : QStringLiteral("%1 of %2").arg(shown).arg(files));
}

void ReportDialog::CopySelected() {
    std::vector<int> chosen;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
        chosen.push_back(filter_->mapToSource(index).row());
    }
    std::sort(chosen.begin(), chosen.end());
    std::string text;
    for (const int row : chosen) rows_.AppendText(static_cast<std::size_t>(row), text);
    if (!text.empty()) QApplication::clipboard()->setText(QString::fromStdString(text));
}

void ReportDialog::CopyAll() {
    QApplication::clipboard()->setText(QString::fromStdString(rows_.Text()));
}

void ReportDialog::Save() {
    const std::optional<QString> chosen =
        dialogs_.GetSaveFileName(this, lastSaveName_, QStringLiteral("Text files (*.txt)"));
    if (!chosen) return;
    lastSaveName_ = *chosen;
    // Written a piece at a time: the whole text of a large drop runs to megabytes.
    QSaveFile file(*chosen);
    bool written = file.open(QIODevice::WriteOnly);
    std::string piece = rows_.Summary() + "\n";
    for (std::size_t row = 0; written && row <= rows_.Count(); ++row) {
        if (row < rows_.Count()) rows_.AppendText(row, piece);
        if (piece.size() >= (1 << 20) || row == rows_.Count()) {
            written = file.write(piece.data(), static_cast<qint64>(piece.size())) ==
                      static_cast<qint64>(piece.size());
            piece.clear();
        }
    }
    if (!written || !file.commit()) {
        dialogs_.ShowMessage(this,
                             QStringLiteral("Could not save the report: ") + file.errorString());
    }
}

}  // namespace pemberlock
