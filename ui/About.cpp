// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/About.h"

#include "common/Version.h"
#include "ui/DialogService.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QtGlobal>

#include <algorithm>

namespace pemberlock {
namespace {

constexpr const char* kHelp =
    "Usage: pemberlock [OPTION]... [MAP.mpn]\n"
    "Opens the Pemberlock window. Choose a MIDI controller number (0 to 120) for each of\n"
    "the 18 panel knobs of the synthesizer, then drop patch files (.pch) on the red area:\n"
    "each is rewritten in place so that every parameter a knob controls also answers to\n"
    "that knob's controller. The File menu loads and saves the choice as a map file (.mpn);\n"
    "a map file given here is loaded at start, as File > Load Map does.\n"
    "\n"
    "Options:\n"
    "  -h, --help     display this help and exit\n"
    "      --version  display the version and the licence and exit\n"
    "\n"
    "Qt's own options, such as -platform NAME or -style NAME, are passed on to Qt.\n"
    "\n"
    "To rewrite patches without the window, in scripts and batches, use pemberlock-cli.\n";

bool Given(const std::vector<std::string>& args, std::initializer_list<const char*> names) {
    return std::any_of(args.begin(), args.end(), [&](const std::string& arg) {
        return std::find(names.begin(), names.end(), arg) != names.end();
    });
}

}  // namespace

QMenu* AddHelpMenu(QMainWindow& window, DialogService& dialogs) {
    QMenu* menu = window.menuBar()->addMenu(QStringLiteral("&Help"));
    menu->setObjectName(QStringLiteral("MnuHelp"));
    QAction* about = menu->addAction(QStringLiteral("&About Pemberlock"));
    about->setObjectName(QStringLiteral("MnuAbout"));
    // Desktops that gather About entries in an application menu (macOS) find it there.
    about->setMenuRole(QAction::AboutRole);
    QObject::connect(about, &QAction::triggered, &window, [&window, &dialogs] {
        dialogs.ShowAbout(&window, QStringLiteral("About Pemberlock"), AboutText());
    });
    return menu;
}

QString AboutText() {
    return QStringLiteral(
               "<h3>Pemberlock %1</h3>"
               "<p>Gives the panel knobs of a modular synthesizer their own MIDI controllers "
               "in every patch file.</p>"
               "<p>Free software under the GNU General Public License, version 3 or later "
               "(GPL-3.0-or-later). It comes with no warranty.</p>"
               "<p>Built with Qt %2, running on Qt %3.</p>"
               "<p><a href=\"%4\">%4</a></p>")
        .arg(QString::fromLatin1(kVersion), QStringLiteral(QT_VERSION_STR),
             QString::fromLatin1(qVersion()), QString::fromLatin1(kHomepage));
}

std::optional<int> AnswerInfoOptions(const std::vector<std::string>& args, std::ostream& out) {
    if (Given(args, {"-h", "--help"})) {
        out << kHelp;
    } else if (Given(args, {"--version"})) {
        out << "pemberlock " << kVersion << "\n" << kCopyrightNotice << "\n";
    } else {
        return std::nullopt;
    }
    out.flush();
    return out ? 0 : 1;
}

}  // namespace pemberlock
