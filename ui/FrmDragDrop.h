// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/FileSystem.h"
#include "journal/JournalPlace.h"
#include "map/KnobControllerMap.h"
#include "ui/StatusBoxLog.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QCloseEvent;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QMimeData;
class QPlainTextEdit;

namespace pemberlock {

class DialogService;
class DropReportCollector;
class DropReportRows;
class DropFrame;
class DropProgress;
class DropWorker;
class FilledShape;
class KnobEditor;
class MidiMenu;
class ReportCommands;
class WindowHistory;
struct MapState;
class DropRecorder;

// The program's only window: the knob editors bound to the map, the
// precedence option, the drop area, the status box and the File menu.
class FrmDragDrop final : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kKnobCount = KnobControllerMap::kKnobCount;
    static constexpr int kClientWidth = 537;
    static constexpr int kClientHeight = 369;
    static inline const QString kMapFilter = QStringLiteral("Mapping (*.mpn)");
    static inline const QString kSheetFilter =
        QStringLiteral("PDF document (*.pdf);;PNG image (*.png)");

    // Drops and map files reach the disk through fs; drops are recorded in
    // the journal at journal, for Edit > Undo and Undo History.
    explicit FrmDragDrop(DialogService& dialogs, FileSystem& fs = RealFileSystem(),
                         JournalPlace journal = {}, QWidget* parent = nullptr);
    ~FrmDragDrop() override;

    const KnobControllerMap& Map() const { return map_; }
    const QString& CurrentMapPath() const { return currentMapPath_; }
    // The status log as written, with CR LF line ends.
    const std::string& StatusText() const { return log_->Text(); }
    // A drop is running: the window shows its progress and takes Stop.
    bool DropRunning() const;
    MidiMenu& Midi() { return *midi_; }
    // As File > Load Map with path chosen: false, with a message and the map
    // left as it was, when the file cannot be read as a map.
    bool LoadMapFrom(const QString& path);

signals:
    void DropFinished();

protected:
    // Closing during a drop stops it after the patches in hand, then closes.
    void closeEvent(QCloseEvent* event) override;

private:
    // The event handlers of the window, the controls and the menu.
    void Form_Load();
    void ChkPrecedence_Click();
    void Frame2_OLEDragDrop(const QMimeData& data);
    // The drop of paths, after asking about the map's warnings if need be.
    void DropPaths(std::vector<std::string> paths);
    void StartDrop(std::vector<std::string> paths);
    // What each knob did in the one patch rows rewrote, if it rewrote one.
    void ShowLastPatch(const DropReportRows& rows);
    void MnuLoad_Click();
    void MnuSave_Click();
    void MnuSaveAs_Click();
    void MnuExportSheet_Click();

    void BuildControls();
    void BuildKnobFrame();
    void BuildDropArea();
    void BuildOptionAndStatus();
    void ChainTabOrder();
    void BuildMenu(JournalPlace journal);
    Result<std::unique_ptr<HeldLock>> HoldJournal(StatusLog& log, const std::atomic<bool>& stop);
    void ShowPrecedence();
    // Puts a state of the window's history on the screen.
    void ShowMapState(const MapState& state, bool withPath);
    void ShowMapWarnings();
    void SaveTo(const QString& path);
    // While a drop (or an undo) runs, the map, the menus and further drops
    // wait; done follows on this thread once it has ended.
    void BeginWork(const QString& waiting, std::function<void()> done);
    void SetDropRunning(bool running);
    // Stop, from Escape or the Stop button: the drop ends after the patches in hand.
    void StopWork();
    void OnWorkFinished();
    void OnDropFinished();

    DialogService& dialogs_;
    FileSystem& fs_;
    KnobControllerMap map_;
    QString currentMapPath_;
    QString lastFileName_;  // offered by the next file dialog

    QWidget* client_ = nullptr;
    QGroupBox* Frame1 = nullptr;
    // Destroyed before the map and the widgets, so no late signal reaches either.
    std::array<std::unique_ptr<KnobEditor>, kKnobCount> knobs_;
    std::unique_ptr<MidiMenu> midi_;  // destroyed before the knobs it writes to
    std::array<QWidget*, 3> Line1{};
    DropFrame* Frame2 = nullptr;
    FilledShape* Shape1 = nullptr;
    DropProgress* progress_ = nullptr;
    DropWorker* drop_ = nullptr;
    QAction* stopDrop_ = nullptr;
    bool closeAfterDrop_ = false;
    bool dropAsking_ = false;          // the map's warnings are asked about before a drop
    std::string confirmedMap_;         // the map file text of the map last dropped despite them
    std::function<void()> afterWork_;  // of the drop or undo running
    QCheckBox* ChkPrecedence = nullptr;
    QLabel* Label2 = nullptr;
    QPlainTextEdit* TxtStatus = nullptr;
    QMenu* MnuFile = nullptr;
    QMenu* MnuEdit = nullptr;  // taking drops back and seeing what they do
    QAction* MnuLoad = nullptr;
    QAction* MnuSave = nullptr;
    QAction* MnuSaveAs = nullptr;
    QAction* MnuExportSheet = nullptr;
    QString lastSheetName_;              // offered by the next export
    ReportCommands* reports_ = nullptr;  // Preview Patches, Last Drop Report; the menu owns it
    std::unique_ptr<DropReportCollector> dropReport_;  // of the drop running or last run
    // The only patch the last preview or drop rewrote; empty when it rewrote
    // none or several. Its knobs are in their tooltips and on the sheet.
    std::string lastPatch_;

    std::unique_ptr<StatusBoxLog> log_;
    std::unique_ptr<WindowHistory> history_;  // runs the journal's work on drop_
    JournalPlace journalPlace_;
    std::unique_ptr<DropRecorder> recorder_;  // the journal of the drop running
};

}  // namespace pemberlock
