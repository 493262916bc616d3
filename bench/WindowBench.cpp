// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/WindowBench.h"

#include "tests/support/PassThroughFileSystem.h"
#include "ui/DialogService.h"
#include "ui/FrmDragDrop.h"
#include "ui/ReportCommands.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QList>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>

namespace pemberlock::bench {
namespace {

// The real file system, or, when log only, one that turns every patch away
// at the first call of a rewrite, before anything on the disk is looked at.
class LogOnlyFileSystem final : public test::PassThroughFileSystem {
public:
    bool logOnly = false;

    Result<ResolvedPath> Resolve(const std::string& path) override {
        if (logOnly) return Error{"not looked at: log only"};
        return PassThroughFileSystem::Resolve(path);
    }
};

// Notes the first paint of the report's rows, and closes the report once
// that paint is done.
class ReportPaintWatch final : public QObject {
public:
    std::chrono::steady_clock::time_point painted;
    std::size_t rows = 0;
    bool seen = false;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (seen || event->type() != QEvent::Paint) return false;
        auto* table = qobject_cast<QTableView*>(watched->parent());
        if (!table || table->viewport() != watched ||
            table->objectName() != QStringLiteral("ReportRows")) {
            return false;
        }
        seen = true;
        // Queued: it runs after this paint has been carried out.
        QTimer::singleShot(0, table, [this, table] {
            painted = std::chrono::steady_clock::now();
            rows = static_cast<std::size_t>(table->model()->rowCount());
            if (auto* dialog = qobject_cast<QDialog*>(table->window())) dialog->reject();
        });
        return false;
    }
};

// The platform's dialogs, but for the folder to preview, which is given,
// and the preview itself, which is noted rather than shown.
class PreviewDialogs final : public QtDialogService {
public:
    QString folder;
    bool shown = false;
    std::chrono::steady_clock::time_point shownAt;
    std::size_t rows = 0;
    std::size_t bytes = 0;

    std::optional<QString> GetExistingDirectory(QWidget*, const QString&) override {
        return folder;
    }
    bool ShowPreview(QWidget*, const QString&, const DropReportRows& report,
                     const QStringList& knobLines, bool) override {
        shownAt = std::chrono::steady_clock::now();
        shown = true;
        rows = report.Count();
        bytes = report.Bytes();
        for (const QString& line : knobLines) bytes += static_cast<std::size_t>(line.size()) * 2;
        return false;
    }
};

class RealWindowDropBench final : public WindowDropBench {
public:
    explicit RealWindowDropBench(std::unique_ptr<QApplication> app)
        : app_(std::move(app)), window_(dialogs_, fs_) {
        window_.show();
        QApplication::processEvents();
        frame_ = window_.findChild<QWidget*>(QStringLiteral("Frame2"));
        box_ = window_.findChild<QPlainTextEdit*>(QStringLiteral("TxtStatus"));
    }

    bool Ready(std::string& why) const {
        if (!frame_)
            why = "the window has no widget named Frame2";
        else if (!box_)
            why = "the window has no text box named TxtStatus";
        return frame_ && box_;
    }

    double Drop(const std::vector<std::string>& paths, std::string& why) override {
        // The drag data is the platform's part; only what the window does
        // with it is timed.
        QMimeData data;
        QList<QUrl> urls;
        urls.reserve(static_cast<qsizetype>(paths.size()));
        for (const std::string& path : paths) {
            urls.push_back(QUrl::fromLocalFile(QFile::decodeName(path.c_str())));
        }
        data.setUrls(urls);
        const int blocksBefore = box_->document()->blockCount();
        const QPoint where(frame_->width() / 2, frame_->height() / 2);
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;

        const auto start = std::chrono::steady_clock::now();
        QDragEnterEvent enter(where, offered, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame_, &enter);
        if (!enter.isAccepted()) {
            why = "the drop area refused the drag";
            return -1;
        }
        QDropEvent drop(QPointF(where), offered, &data, Qt::LeftButton, Qt::NoModifier);
        // What the window does on the drop itself blocks its loop too.
        const auto dropped = std::chrono::steady_clock::now();
        QApplication::sendEvent(frame_, &drop);
        if (!drop.isAccepted()) {
            why = "the drop area refused the drop";
            return -1;
        }
        WaitForTheDrop(dropped);
        // Let the status box lay out and paint what was appended.
        QApplication::processEvents();
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;

        // Log only, each patch is one "Error!" line and counts as an error.
        const std::size_t errors = fs_.logOnly ? paths.size() : 0;
        const QString summary = QString::number(paths.size() - errors) + " of " +
                                QString::number(paths.size()) +
                                " files processed successfully.\n0 files skipped.\n" +
                                QString::number(errors) + " errors.\n";
        const int added = box_->document()->blockCount() - blocksBefore;
        if (added != static_cast<int>(paths.size()) + 3 || !box_->toPlainText().endsWith(summary)) {
            why = "the status box does not show the expected " + std::to_string(paths.size() + 3) +
                  " new lines and summary (" + std::to_string(added) + " new lines)";
            return -1;
        }
        return seconds.count();
    }

    double OpenReport(std::size_t& rows, std::string& why) override {
        auto* report = window_.findChild<QAction*>(QStringLiteral("MnuReport"));
        if (!report || !report->isEnabled()) {
            why = "Last Drop Report is missing or greyed";
            return -1;
        }
        ReportPaintWatch watch;
        QApplication::instance()->installEventFilter(&watch);
        // A report that never paints must not hold the benchmark for ever.
        QTimer giveUp;
        giveUp.setSingleShot(true);
        QObject::connect(&giveUp, &QTimer::timeout, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                dialog->reject();
            }
        });
        giveUp.start(30000);
        const auto start = std::chrono::steady_clock::now();
        report->trigger();  // returns once the dialog is closed
        QApplication::instance()->removeEventFilter(&watch);
        if (!watch.seen) {
            why = "the report's rows were never painted";
            return -1;
        }
        rows = watch.rows;
        return std::chrono::duration<double>(watch.painted - start).count();
    }

    std::size_t ReportBytes() const override {
        const auto* commands = window_.findChild<ReportCommands*>();
        return commands ? commands->LastDropReport().Bytes() : 0;
    }

    double PreviewFolder(const std::string& folder, std::size_t& rows, std::size_t& bytes,
                         std::string& why) override {
        auto* preview = window_.findChild<QAction*>(QStringLiteral("MnuPreviewFolder"));
        if (!preview || !preview->isEnabled()) {
            why = "Preview Folder… is missing or greyed";
            return -1;
        }
        dialogs_.folder = QFile::decodeName(folder.c_str());
        dialogs_.shown = false;
        const auto start = std::chrono::steady_clock::now();
        preview->trigger();
        WaitForTheDrop(start);
        // The preview is shown from the event loop once the work has ended.
        for (int turn = 0; turn < 100 && !dialogs_.shown; ++turn) QApplication::processEvents();
        if (!dialogs_.shown) {
            why = "the preview was never shown";
            return -1;
        }
        rows = dialogs_.rows;
        bytes = dialogs_.bytes;
        return std::chrono::duration<double>(dialogs_.shownAt - start).count();
    }

    void SetLogOnly(bool on) override { fs_.logOnly = on; }
    double LongestBlockedSeconds() const override { return longestBlocked_; }

private:
    // Runs the window's event loop until the drop has ended, timing the
    // longest stretch in which it could not turn: a timer that would fire
    // every millisecond notes each gap between its firings.
    // The first stretch starts with the drop event, at dropped; the last
    // one ends when the window has finished the drop.
    void WaitForTheDrop(std::chrono::steady_clock::time_point dropped) {
        QEventLoop loop;
        auto last = dropped;
        longestBlocked_ = 0;
        const auto tick = [&] {
            const auto now = std::chrono::steady_clock::now();
            longestBlocked_ =
                std::max(longestBlocked_, std::chrono::duration<double>(now - last).count());
            last = now;
        };
        QObject::connect(&window_, &FrmDragDrop::DropFinished, &loop, [&] {
            tick();
            loop.quit();
        });
        QTimer ticks;
        ticks.setInterval(1);
        QObject::connect(&ticks, &QTimer::timeout, tick);
        ticks.start();
        if (window_.DropRunning()) loop.exec();
    }

    double longestBlocked_ = 0;
    // Declared first: the application must outlive the window.
    std::unique_ptr<QApplication> app_;
    PreviewDialogs dialogs_;
    LogOnlyFileSystem fs_;
    FrmDragDrop window_;
    QWidget* frame_ = nullptr;
    QPlainTextEdit* box_ = nullptr;
};

}  // namespace

std::unique_ptr<WindowDropBench> CreateWindowDropBench(std::string& why) {
    // Offscreen unless the caller chose a display (e.g. under Xvfb).
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "pemberlock-bench";
    static char* argv[] = {name, nullptr};
    auto bench = std::make_unique<RealWindowDropBench>(std::make_unique<QApplication>(argc, argv));
    if (!bench->Ready(why)) return nullptr;
    return bench;
}

bool WindowBuilt() { return true; }

}  // namespace pemberlock::bench
