// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/About.h"
#include "ui/DialogService.h"
#include "ui/FrmDragDrop.h"

#include <QApplication>

#include <iostream>

int main(int argc, char* argv[]) {
    // Before QApplication, which needs a display.
    if (const auto status = pemberlock::AnswerInfoOptions({argv + 1, argv + argc}, std::cout)) {
        return *status;
    }
    QApplication app(argc, argv);
    // Where QSettings keeps the user's choices, such as the MIDI input.
    QApplication::setOrganizationName(QStringLiteral("Pemberlock"));
    QApplication::setApplicationName(QStringLiteral("Pemberlock"));
    pemberlock::QtDialogService dialogs;
    pemberlock::FrmDragDrop window(dialogs, pemberlock::RealFileSystem(),
                                   pemberlock::JournalPlaceFrom());
    window.show();
    return QApplication::exec();
}
