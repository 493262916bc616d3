// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <ostream>

class QMainWindow;
class QMenu;

namespace pemberlock {

class DialogService;

// The Help menu, appended to the window's menu bar: "About Pemberlock"
// opens the About box through dialogs.
QMenu* AddHelpMenu(QMainWindow& window, DialogService& dialogs);

// The About box's text: name, version, what the program does, its licence
// and the Qt it was built with and runs on.
QString AboutText();

// What the window program's command line asks for.
struct WindowOptions {
    // The program ends here with this status: --help or --version was
    // answered, or a mistake reported.
    std::optional<int> exitStatus;
    QString mapPath;  // a map file to load at start, as given; empty: none
};

// Parses the window program's command line (args with the program's name
// first): --help and --version are answered on out, an unknown option or a
// second map file is reported on err with status 2. Qt's own options, such
// as -platform NAME, are let through for Qt. Needs no display and no
// QCoreApplication, so that it works on a server and for help2man.
WindowOptions ParseWindowOptions(const QStringList& args, std::ostream& out, std::ostream& err);

}  // namespace pemberlock
