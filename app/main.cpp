// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/About.h"
#include "ui/DialogService.h"
#include "ui/FrmDragDrop.h"

#include <QApplication>
#include <QFileInfo>
#include <QStringList>

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
    // A map opened from the file manager (Qt has taken its own options out by
    // now). Made absolute so that Save Map writes where it was read from.
    const QStringList args = QApplication::arguments().mid(1);
    for (const QString& arg : args) {
        if (arg.startsWith(QLatin1Char('-'))) continue;
        window.LoadMapFrom(QFileInfo(arg).absoluteFilePath());
        break;
    }
    return QApplication::exec();
}
