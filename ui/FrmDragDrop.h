#pragma once

#include "map/KnobControllerMap.h"
#include "patch/DropBatch.h"
#include "ui/StatusBoxLog.h"

#include <QMainWindow>
#include <QScrollBar>
#include <QString>

#include <array>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QPlainTextEdit;

namespace pemberlock {

class DialogService;
class DropFrame;
class FilledShape;

// A knob's scroll bar, upside down to a document's: the top end is 120 and
// the bottom end 0, and the arrows, keys and wheel move it that way.
// Qt puts a vertical scroll bar's minimum at the top, so the bar's own value
// runs the other way and Position() turns it round.
class KnobScrollBar final : public QScrollBar {
public:
    explicit KnobScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {}
    int Position() const { return maximum() + minimum() - value(); }
    void SetPosition(int position) { setValue(maximum() + minimum() - position); }
};

// The program's only window: the knob editor bound to the map, the
// precedence option, the drop area, the status box and the File menu.
class FrmDragDrop final : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kKnobCount = KnobControllerMap::kKnobCount;
    static constexpr int kClientWidth = 537;
    static constexpr int kClientHeight = 369;
    static inline const QString kMapFilter = QStringLiteral("Mapping (*.mpn)");

    explicit FrmDragDrop(DialogService& dialogs, QWidget* parent = nullptr);
    ~FrmDragDrop() override;

    const KnobControllerMap& Map() const { return map_; }
    const QString& CurrentMapPath() const { return currentMapPath_; }
    // The status log as written, with CR LF line ends.
    const std::string& StatusText() const { return log_->Text(); }
    // Replaces the patch rewriter a drop runs; empty restores the real one.
    void SetPatchProcessor(PatchProcessor processor) { processor_ = std::move(processor); }

    // The event handlers of the controls and the menu.
    void Form_Load();
    void ScrKnob_Change(int index);
    void ScrKnob_Scroll(int index);
    void TxtCtrl_Change(int index);
    void ChkPrecedence_Click();
    void Frame2_OLEDragDrop(const QMimeData& data);
    void MnuLoad_Click();
    void MnuSave_Click();
    void MnuSaveAs_Click();

private:
    void BuildControls();
    void BuildMenu();
    void ShowPrecedence();
    void SaveTo(const QString& path);

    DialogService& dialogs_;
    KnobControllerMap map_;
    QString currentMapPath_;
    QString lastFileName_;  // offered by the next file dialog
    PatchProcessor processor_;
    std::array<bool, kKnobCount> syncing_{};

    QWidget* client_ = nullptr;
    QGroupBox* Frame1 = nullptr;
    std::array<KnobScrollBar*, kKnobCount> ScrKnob{};
    std::array<QLineEdit*, kKnobCount> TxtCtrl{};
    std::array<QWidget*, 3> Line1{};
    DropFrame* Frame2 = nullptr;
    FilledShape* Shape1 = nullptr;
    QCheckBox* ChkPrecedence = nullptr;
    QLabel* Label2 = nullptr;
    QPlainTextEdit* TxtStatus = nullptr;
    QMenu* MnuFile = nullptr;
    QAction* MnuLoad = nullptr;
    QAction* MnuSave = nullptr;
    QAction* MnuSaveAs = nullptr;

    std::unique_ptr<StatusBoxLog> log_;
};

}  // namespace pemberlock
