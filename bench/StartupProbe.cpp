// SPDX-License-Identifier: GPL-3.0-or-later
// Starts the window as the program does and prints one line as soon as its
// first frame has been painted, then quits. pemberlock-bench times it from
// the outside, so the time covers loading, start-up and the first paint.

#include "ui/DialogService.h"
#include "ui/FrmDragDrop.h"

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>

#include <cstdio>

namespace {

// Sees the window's first paint; once it is handled, reports and quits.
class FirstFrame final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!seen_ && event->type() == QEvent::Paint) {
            seen_ = true;
            // Queued, so it runs after the paint has been done and flushed.
            QTimer::singleShot(0, [] {
                std::puts("shown");
                std::fflush(stdout);
                QApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool seen_ = false;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    pemberlock::QtDialogService dialogs;
    pemberlock::FrmDragDrop window(dialogs);
    FirstFrame firstFrame;
    window.installEventFilter(&firstFrame);
    window.show();
    return QApplication::exec();
}
