// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/About.h"
#include "ui/DialogService.h"
#include "ui/FrmDragDrop.h"

#include <QApplication>
#include <QFileInfo>
#include <QStringList>

#include <iostream>

int main(int argc, char* argv[]) {
    // Before QApplication, which needs a display: --help, --version and a
    // mistaken option are answered without one.
    QStringList given;
    for (int i = 0; i < argc; ++i) given << QString::fromLocal8Bit(argv[i]);
    if (const auto status =
            pemberlock::ParseWindowOptions(given, std::cout, std::cerr).exitStatus) {
        return *status;
    }
    QApplication app(argc, argv);
    // Where QSettings keeps the user's choices, such as the MIDI input.
    QApplication::setOrganizationName(QStringLiteral("Pemberlock"));
    QApplication::setApplicationName(QStringLiteral("Pemberlock"));
    // Again, for the map's name: on Windows only QApplication has it in all
    // its characters (and Qt has taken its own options out by now).
    const pemberlock::WindowOptions options =
        pemberlock::ParseWindowOptions(QApplication::arguments(), std::cout, std::cerr);
    if (options.exitStatus) return *options.exitStatus;
    pemberlock::QtDialogService dialogs;
    pemberlock::FrmDragDrop window(dialogs, pemberlock::RealFileSystem(),
                                   pemberlock::JournalPlaceFrom());
    window.show();
    // A map opened from the file manager, made absolute so that Save Map
    // writes where it was read from.
    if (!options.mapPath.isEmpty()) {
        window.LoadMapFrom(QFileInfo(options.mapPath).absoluteFilePath());
    }
    return QApplication::exec();
}
