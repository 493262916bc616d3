// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FrmDragDrop.h"

#include "drop/DropReport.h"
#include "drop/PatchDrop.h"
#include "fileio/TargetFile.h"
#include "journal/UndoJournal.h"
#include "map/MapFile.h"
#include "map/MapWarnings.h"
#include "patch/PatchKnobs.h"
#include "ui/About.h"
#include "ui/CorePath.h"
#include "ui/DialogService.h"
#include "ui/DropFrame.h"
#include "ui/DropProgress.h"
#include "ui/DropWorker.h"
#include "ui/FocusRing.h"
#include "ui/KnobEditor.h"
#include "ui/MapSheetPainter.h"
#include "ui/MidiMenu.h"
#include "ui/ReportCommands.h"
#include "ui/WindowHistory.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QStyleOptionButton>
#include <QUrl>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

// The icons live in this static library; the linker would drop their
// initialiser unless something refers to it.
static void InitResources() { Q_INIT_RESOURCE(resources); }

namespace pemberlock {

namespace {

constexpr int kColumnX[] = {8, 64, 136, 192, 264, 336};
constexpr int kLineX[] = {120, 248, 320};

// The knob bars are short (57 pixels for 121 positions); the platform's
// minimum thumb length would leave the thumb almost no room to travel.
class KnobBarStyle final : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_ScrollBarSliderMin) return 8;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// A user's click only ticks or unticks; the greyed state comes from a map
// file alone.
class PrecedenceCheckBox final : public QCheckBox {
public:
    PrecedenceCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

protected:
    void nextCheckState() override {
        setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
};

// The caption must fit the box's fixed width beside the tick mark; a wide
// platform font is made smaller until it does.
void FitCaption(QCheckBox& box) {
    QStyleOptionButton option;
    option.initFrom(&box);
    const QRect caption = box.style()->subElementRect(QStyle::SE_CheckBoxContents, &option, &box);
    const int room = box.width() - caption.left();
    QFont font = box.font();
    const int start = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    for (int size = start; size > 8; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).horizontalAdvance(box.text()) <= room) break;
    }
    box.setFont(font);
}

Qt::CheckState CheckStateFor(int precedence) {
    switch (precedence) {
        case 0: return Qt::Unchecked;
        case 1: return Qt::Checked;
        default: return Qt::PartiallyChecked;
    }
}

int PrecedenceFor(Qt::CheckState state) {
    switch (state) {
        case Qt::Unchecked: return 0;
        case Qt::Checked: return 1;
        default: return 2;
    }
}

// "\"/maps/live.mpn\": ends after 2 of 19 items", as pemberlock-cli names a
// map file it cannot read.
QString FileReason(const QString& path, const Error& error) {
    return QStringLiteral("\"%1\": %2")
        .arg(QDir::toNativeSeparators(path), QString::fromStdString(error.Text()));
}

// "Knob 4 uses controller 32, which ... bank select. Drop anyway?"; with
// several warnings, a line for each and the question after a blank line.
QString DropQuestion(const std::vector<MapWarning>& warnings) {
    QStringList sentences;
    for (const MapWarning& warning : warnings) {
        QString sentence = QString::fromStdString(warning.text) + QLatin1Char('.');
        sentence[0] = sentence[0].toUpper();
        sentences << sentence;
    }
    const QString ask = QStringLiteral("Drop anyway?");
    return sentences.join(QLatin1Char('\n')) +
           (sentences.size() == 1 ? QStringLiteral(" ") : QStringLiteral("\n\n")) + ask;
}

}  // namespace

FrmDragDrop::FrmDragDrop(DialogService& dialogs, FileSystem& fs, JournalPlace journal,
                         QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), fs_(fs) {
    setObjectName(QStringLiteral("FrmDragDrop"));
    setWindowTitle(QStringLiteral("Pemberlock"));
#ifdef Q_OS_WIN
    // A fixed size is a thin border on Windows: no edge to drag that then
    // springs back (and under Wine none that resizes it at all).
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
#endif
    InitResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/pemberlock-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/pemberlock-32.png"), QSize(32, 32));
    setWindowIcon(icon);

    BuildControls();
    log_ = std::make_unique<StatusBoxLog>(*TxtStatus);
    journalPlace_ = journal;
    BuildMenu(std::move(journal));
    // The client area keeps its size; the window is as big as menu and client.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    Form_Load();
}

FrmDragDrop::~FrmDragDrop() {
    // A running drop uses the report and the journal record held here: it
    // is stopped, and waited for, before they go.
    delete drop_;
}

void FrmDragDrop::BuildControls() {
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("Client"));
    client_->setFixedSize(kClientWidth, kClientHeight);
    // The layout was drawn for an 8 point sans serif at 96 dots per inch;
    // a font of that pixel size keeps the captions inside their controls.
    QFont font = client_->font();
    font.setPixelSize(11);
    client_->setFont(font);
    setCentralWidget(client_);

    BuildKnobFrame();
    BuildDropArea();
    BuildOptionAndStatus();
    ChainTabOrder();

    std::vector<QWidget*> focusable;
    for (const auto& knob : knobs_) focusable.insert(focusable.end(), {knob->Bar(), knob->Box()});
    focusable.insert(focusable.end(), {TxtStatus, ChkPrecedence});
    new FocusRing(std::move(focusable), client_);
}

void FrmDragDrop::BuildKnobFrame() {
    Frame1 = new QGroupBox(QStringLiteral("Controller Mapping"), client_);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(8, 8, 401, 241);

    auto* knobBarStyle = new KnobBarStyle;
    knobBarStyle->setParent(this);
    for (int i = 0; i < kKnobCount; ++i) {
        const QPoint at(kColumnX[i / 3], 24 + 72 * (i % 3));
        knobs_[static_cast<std::size_t>(i)] =
            std::make_unique<KnobEditor>(map_, i, Frame1, at, knobBarStyle);
        connect(knobs_[static_cast<std::size_t>(i)].get(), &KnobEditor::EntryChanged, this,
                [this, i] {
                    ShowMapWarnings();
                    if (history_) history_->MapChanged(i);
                });
    }

    for (std::size_t n = 0; n < Line1.size(); ++n) {
        auto* line = new QFrame(Frame1);
        line->setObjectName(QStringLiteral("Line1_%1").arg(n));
        line->setFrameShape(QFrame::VLine);
        line->setFrameShadow(QFrame::Sunken);
        // From the top of the frame's inside, below its caption, which the
        // style and font place, down to the frame's bottom.
        const int top = std::max(8, Frame1->contentsRect().top());
        line->setGeometry(kLineX[n], top, 2, Frame1->height() - top);
        Line1[n] = line;
    }
}

void FrmDragDrop::BuildDropArea() {
    Frame2 = new DropFrame(QStringLiteral("Drop Patches Here"), client_);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setGeometry(416, 8, 113, 241);
    Frame2->SetDropHandler([this](const QMimeData& data) { Frame2_OLEDragDrop(data); });

    Shape1 = new FilledShape(QColor(192, 0, 0), Frame2);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(8, 16, 97, 217);

    progress_ = new DropProgress(Shape1);
    progress_->setGeometry(Shape1->rect());
    progress_->hide();
    drop_ = new DropWorker(this);
    stopDrop_ = new QAction(QStringLiteral("Stop"), this);
    stopDrop_->setObjectName(QStringLiteral("StopDrop"));
    stopDrop_->setShortcut(QKeySequence(Qt::Key_Escape));
    stopDrop_->setShortcutContext(Qt::WindowShortcut);
    stopDrop_->setEnabled(false);
    addAction(stopDrop_);
    connect(stopDrop_, &QAction::triggered, this, [this] { StopWork(); });
    connect(progress_, &DropProgress::StopClicked, this, [this] { StopWork(); });
    connect(drop_, &DropWorker::Appended, this, [this](const std::string& text) {
        log_->Append(text);
        log_->ScrollToEnd();
    });
    connect(drop_, &DropWorker::Progressed, progress_, &DropProgress::Show);
    connect(drop_, &DropWorker::Finished, this, [this] { OnWorkFinished(); });
}

void FrmDragDrop::BuildOptionAndStatus() {
    ChkPrecedence = new PrecedenceCheckBox(
        QStringLiteral("Existing Controller Mappings Take Precedence"), client_);
    ChkPrecedence->setObjectName(QStringLiteral("ChkPrecedence"));
    ChkPrecedence->setGeometry(280, 256, 249, 17);
    FitCaption(*ChkPrecedence);
    connect(ChkPrecedence, &QCheckBox::stateChanged, this, [this] { ChkPrecedence_Click(); });

    Label2 = new QLabel(QStringLiteral("Status"), client_);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(8, 264, 105, 17);

    TxtStatus = new QPlainTextEdit(client_);
    TxtStatus->setObjectName(QStringLiteral("TxtStatus"));
    TxtStatus->setGeometry(8, 280, 521, 81);
    TxtStatus->setReadOnly(true);
    TxtStatus->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TxtStatus->setAccessibleName(QStringLiteral("Status"));
    Label2->setBuddy(TxtStatus);
}

void FrmDragDrop::ChainTabOrder() {
    // Scroll bars, then text boxes, both in knob order, then status and option.
    QWidget* previous = nullptr;
    auto chain = [&previous](QWidget* next) {
        if (previous != nullptr) setTabOrder(previous, next);
        previous = next;
    };
    for (const auto& knob : knobs_) chain(knob->Bar());
    for (const auto& knob : knobs_) chain(knob->Box());
    chain(TxtStatus);
    chain(ChkPrecedence);
}

void FrmDragDrop::BuildMenu(JournalPlace journal) {
    MnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    MnuFile->setObjectName(QStringLiteral("MnuFile"));

    MnuLoad = MnuFile->addAction(QStringLiteral("&Load Map"));
    MnuLoad->setObjectName(QStringLiteral("MnuLoad"));
    MnuLoad->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(MnuLoad, &QAction::triggered, this, [this] { MnuLoad_Click(); });

    MnuSave = MnuFile->addAction(QStringLiteral("&Save Map"));
    MnuSave->setObjectName(QStringLiteral("MnuSave"));
    MnuSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(MnuSave, &QAction::triggered, this, [this] { MnuSave_Click(); });

    MnuSaveAs = MnuFile->addAction(QStringLiteral("Save Map As"));
    MnuSaveAs->setObjectName(QStringLiteral("MnuSaveAs"));
    connect(MnuSaveAs, &QAction::triggered, this, [this] { MnuSaveAs_Click(); });

    MnuExportSheet = MnuFile->addAction(QStringLiteral("&Export Map Sheet…"));
    MnuExportSheet->setObjectName(QStringLiteral("MnuExportSheet"));
    connect(MnuExportSheet, &QAction::triggered, this, [this] { MnuExportSheet_Click(); });

    MnuEdit = menuBar()->addMenu(QStringLiteral("&Edit"));
    MnuEdit->setObjectName(QStringLiteral("MnuEdit"));
    // An undo of a large drop takes as long as the drop: it runs as one does.
    auto runUndo = [this](DropWorker::Task task, std::function<void()> done) {
        if (DropRunning()) return false;
        BeginWork(QStringLiteral("Reading the journal…"), std::move(done));
        drop_->Run(std::move(task));
        return true;
    };
    history_ = std::make_unique<WindowHistory>(
        *MnuEdit, *this, dialogs_, fs_, std::move(journal), std::move(runUndo),
        [this](const MapState& state, bool withPath) { ShowMapState(state, withPath); },
        [this] {
            return MapState{map_, currentMapPath_};
        });
    for (const auto& knob : knobs_) history_->WatchBox(*knob->Box());
    // A preview runs where a drop runs, and its report can drop what it showed.
    auto runPreview = [this](std::vector<std::string> paths, const DropOptions& options,
                             std::function<void()> done) {
        if (DropRunning()) return false;
        BeginWork(QStringLiteral("Reading folders…"), std::move(done));
        drop_->Start(std::move(paths), map_, fs_, options);
        return true;
    };
    reports_ = new ReportCommands(
        *MnuEdit, *this, dialogs_, fs_, map_, std::move(runPreview),
        [this](std::vector<std::string> paths) { DropPaths(std::move(paths)); },
        [this](const DropReportRows& rows) { ShowLastPatch(rows); });

    midi_ = std::make_unique<MidiMenu>(*this, dialogs_, knobs_);

    // Help comes last, after every other menu.
    AddHelpMenu(*this, dialogs_);
}

void FrmDragDrop::Form_Load() {
    // The map the window starts with is no step to take back.
    history_->Replace({}, [this] {
        for (int i = 0; i < kKnobCount; ++i) knobs_[static_cast<std::size_t>(i)]->Reset(101 + i);
        ShowPrecedence();
    });
    history_->Forget();
    log_->Append(kGreeting);
}

void FrmDragDrop::ChkPrecedence_Click() {
    map_.SetPrecedence(PrecedenceFor(ChkPrecedence->checkState()));
    if (history_) history_->MapChanged(-1);
}

void FrmDragDrop::ShowMapState(const MapState& state, bool withPath) {
    map_ = state.map;
    if (withPath) currentMapPath_ = state.path;
    for (const auto& knob : knobs_) knob->ShowEntry();
    ShowPrecedence();
    ShowMapWarnings();
}

void FrmDragDrop::ShowPrecedence() {
    ChkPrecedence->setCheckState(CheckStateFor(map_.Precedence()));
}

void FrmDragDrop::ShowMapWarnings() {
    const auto perKnob = WarningsPerKnob(FindMapWarnings(map_));
    for (std::size_t i = 0; i < knobs_.size(); ++i) {
        if (knobs_[i]) knobs_[i]->ShowWarning(perKnob[i]);
    }
}

void FrmDragDrop::Frame2_OLEDragDrop(const QMimeData& data) {
    if (DropRunning() || dropAsking_) return;
    std::vector<std::string> paths;
    for (const QUrl& url : data.urls()) paths.push_back(CorePath(url.toLocalFile()));
    // The drop is the user's next step here: the window comes to the front
    // with the focus, so that Escape reaches Stop.
    raise();
    activateWindow();
    DropPaths(std::move(paths));
}

void FrmDragDrop::DropPaths(std::vector<std::string> paths) {
    const std::vector<MapWarning> warnings = FindMapWarnings(map_);
    // Asked once for a map: a user who dropped with it knows already.
    if (std::string map = FormatMapFile(map_); !warnings.empty() && map != confirmedMap_) {
        // Asked once the drag is over: the file manager would wait for the
        // drop to end while the question is open.
        dropAsking_ = true;
        Frame2->SetAccepting(false);
        QMetaObject::invokeMethod(
            this,
            [this, paths = std::move(paths), map = std::move(map),
             question = DropQuestion(warnings)]() mutable {
                const bool drop = dialogs_.Confirm(this, question, QStringLiteral("&Drop"));
                dropAsking_ = false;
                Frame2->SetAccepting(true);
                if (!drop) return;
                confirmedMap_ = std::move(map);
                StartDrop(std::move(paths));
            },
            Qt::QueuedConnection);
        return;
    }
    StartDrop(std::move(paths));
}

void FrmDragDrop::StartDrop(std::vector<std::string> paths) {
    // The report is gathered on the drop's thread and read here when it ends.
    dropReport_ = std::make_unique<DropReportCollector>();
    // The journal is written and finished on the drop's thread too.
    recorder_ = history_->DropStarting();
    DropOptions options;
    options.observer = dropReport_.get();
    options.reportRewrites = true;
    options.journal = recorder_.get();
    BeginWork(QStringLiteral("Reading folders…"), [this] { OnDropFinished(); });
    // Finishing the record syncs it and waits for the oldest drops to be
    // removed: up to a second with a full journal, so not on this thread.
    drop_->Start(
        std::move(paths), map_, fs_, options,
        [recorder = recorder_.get()] {
            if (recorder) recorder->Finish();
        },
        [this](StatusLog& log, const std::atomic<bool>& stop) { return HoldJournal(log, stop); });
}

// One drop or undo at a time on a library, whichever program runs it.
Result<std::unique_ptr<HeldLock>> FrmDragDrop::HoldJournal(StatusLog& log,
                                                           const std::atomic<bool>& stop) {
    UndoJournal journal(fs_, journalPlace_);
    Result<std::unique_ptr<HeldLock>> held =
        journal.Hold([&] { log.Append("Waiting for another drop to finish…\r\n"); }, &stop);
    if (held) return held;
    if (stop.load()) {
        log.Append("Stopped while waiting for another drop to finish; nothing was changed.\r\n");
        return held;
    }
    // A journal that cannot be locked cannot record either: the drop runs,
    // and its recorder says why undo is not available.
    return std::unique_ptr<HeldLock>();
}

bool FrmDragDrop::DropRunning() const { return drop_->Running(); }

void FrmDragDrop::StopWork() {
    if (!DropRunning()) return;
    drop_->Stop();
    progress_->Stopping();
}

void FrmDragDrop::SetDropRunning(bool running) {
    Frame1->setEnabled(!running);
    ChkPrecedence->setEnabled(!running);
    MnuFile->setEnabled(!running);
    MnuEdit->setEnabled(!running);
    midi_->SetEnabled(!running);
    Frame2->SetAccepting(!running);
    progress_->setVisible(running);
    stopDrop_->setEnabled(running);
}

void FrmDragDrop::BeginWork(const QString& waiting, std::function<void()> done) {
    afterWork_ = std::move(done);
    SetDropRunning(true);
    progress_->Begin(waiting);
}

void FrmDragDrop::OnWorkFinished() {
    SetDropRunning(false);
    if (const auto done = std::exchange(afterWork_, nullptr)) done();
    log_->ScrollToEnd();
    emit DropFinished();
    if (closeAfterDrop_) close();
}

void FrmDragDrop::OnDropFinished() {
    reports_->SetLastDropReport(dropReport_->TakeRows());
    ShowLastPatch(reports_->LastDropReport());
    history_->DropEnded(recorder_.get());
    recorder_.reset();
}

void FrmDragDrop::ShowLastPatch(const DropReportRows& rows) {
    lastPatch_.clear();
    if (rows.RewrittenCount() == 1) {
        std::size_t row = 0;
        while (rows.OutcomeOf(row) != DropReportRows::Outcome::Rewritten) ++row;
        lastPatch_ = rows.PathOf(row);
        const QString in =
            QStringLiteral("In %1: ").arg(QFileInfo(QString::fromStdString(lastPatch_)).fileName());
        for (int knob = 0; knob < kKnobCount; ++knob) {
            const std::string controls = rows.WhatKnobControls(row, knob);
            knobs_[static_cast<std::size_t>(knob)]->ShowControls(
                controls.empty() ? QString() : in + QString::fromStdString(controls));
        }
        return;
    }
    for (const auto& knob : knobs_) knob->ShowControls({});
}

void FrmDragDrop::closeEvent(QCloseEvent* event) {
    if (!DropRunning()) return QMainWindow::closeEvent(event);
    closeAfterDrop_ = true;
    StopWork();
    event->ignore();
}

void FrmDragDrop::MnuLoad_Click() {
    const std::optional<QString> chosen = dialogs_.GetOpenFileName(this, lastFileName_, kMapFilter);
    if (!chosen) return;
    LoadMapFrom(*chosen);
}

bool FrmDragDrop::LoadMapFrom(const QString& path) {
    lastFileName_ = path;
    Result<> loaded;
    history_->Replace(QStringLiteral("Load Map ") + QFileInfo(path).fileName(), [&] {
        loaded = LoadMap(map_, CorePath(path), fs_);
        if (!loaded) return;
        for (const auto& knob : knobs_) knob->ShowEntry();
        ShowPrecedence();
        currentMapPath_ = path;
    });
    if (!loaded) {
        // Saying nothing would leave the user rewriting patches with a map
        // they did not choose; the map itself is left as it was.
        dialogs_.ShowMessage(this, QStringLiteral("Could not load map!"),
                             FileReason(path, loaded.error()));
        return false;
    }
    return true;
}

void FrmDragDrop::MnuSave_Click() {
    const bool stillThere = !currentMapPath_.isEmpty() &&
                            fs_.Status(CorePath(currentMapPath_)).kind == FileKind::Regular;
    if (stillThere) {
        SaveTo(currentMapPath_);
    } else {
        MnuSaveAs_Click();
    }
}

void FrmDragDrop::MnuSaveAs_Click() {
    const std::optional<QString> chosen = dialogs_.GetSaveFileName(this, lastFileName_, kMapFilter);
    if (!chosen) return;
    lastFileName_ = *chosen;
    SaveTo(*chosen);
    currentMapPath_ = *chosen;
}

void FrmDragDrop::SaveTo(const QString& path) {
    if (const Result<> saved = SaveMap(map_, CorePath(path), fs_); !saved) {
        dialogs_.ShowMessage(this, QStringLiteral("Could not save map!"),
                             FileReason(path, saved.error()));
    }
}

void FrmDragDrop::MnuExportSheet_Click() {
    QString offered = lastSheetName_;
    if (offered.isEmpty() && !currentMapPath_.isEmpty()) {
        // Beside the map, named after it.
        const QFileInfo map(currentMapPath_);
        offered = map.dir().filePath(map.completeBaseName() + QStringLiteral(".pdf"));
    }
    const std::optional<QString> chosen = dialogs_.GetSaveFileName(this, offered, kSheetFilter);
    if (!chosen) return;
    lastSheetName_ = *chosen;

    MapSheetContent content;
    content.map = map_;
    content.mapName = currentMapPath_.isEmpty()
                          ? std::string("Unsaved map")
                          : QFileInfo(currentMapPath_).fileName().toStdString();
    content.date = QDate::currentDate().toString(Qt::ISODate).toStdString();
    // With the one patch last previewed or dropped, what each knob controls
    // there, as the command line's sheet of a patch; a patch gone since
    // leaves the sheet of the map alone.
    if (!lastPatch_.empty()) {
        if (const Result<PatchKnobs> knobs = ReadPatchKnobs(lastPatch_, fs_)) {
            AddPatchToSheet(content, *knobs,
                            QFileInfo(QString::fromStdString(lastPatch_)).fileName().toStdString());
        }
    }
    const MapSheetLayout layout = LayOutMapSheet(content);
    // The dialog takes the name as typed: its ending says which kind to write.
    const QString suffix = QFileInfo(*chosen).suffix().toLower();
    QByteArray bytes;
    if (suffix == QStringLiteral("pdf")) {
        bytes = MapSheetPdf(layout);
    } else if (suffix == QStringLiteral("png")) {
        bytes = MapSheetPng(layout);
    }
    const Result<> written =
        bytes.isEmpty()
            ? Result<>(Error{"the name must end in .pdf or .png"})
            : ReplaceWholeFile(
                  fs_, CorePath(*chosen),
                  std::string_view(bytes.data(), static_cast<std::size_t>(bytes.size())));
    if (!written) {
        dialogs_.ShowMessage(this, QStringLiteral("Could not export map sheet!"),
                             FileReason(*chosen, written.error()));
    }
}

}  // namespace pemberlock
