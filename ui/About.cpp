// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/About.h"

#include "common/Version.h"
#include "ui/DialogService.h"

#include <QAction>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QtGlobal>

#include <string>

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
    "Any other option, or a second map file, is an error: it is named on standard error\n"
    "and the program ends with exit status 2 without opening its window.\n"
    "\n"
    "To rewrite patches without the window, in scripts and batches, use pemberlock-cli.\n";

// The options QGuiApplication, QApplication and the X11 platform take out
// of the command line for themselves, those followed by a value first.
constexpr const char* kQtValueOptions[] = {"platform",
                                           "platformpluginpath",
                                           "platformtheme",
                                           "plugin",
                                           "qwindowgeometry",
                                           "geometry",
                                           "qwindowtitle",
                                           "title",
                                           "qwindowicon",
                                           "icon",
                                           "session",
                                           "display",
                                           "name",
                                           "visual",
                                           "style",
                                           "stylesheet",
                                           "qmljsdebugger"};
constexpr const char* kQtFlags[] = {"reverse", "widgetcount", "nograb",
                                    "dograb",  "sync",        "testability"};

QCommandLineOption QtOption(const char* name, bool takesValue) {
    QCommandLineOption option(QString::fromLatin1(name));
    if (takesValue) option.setValueName(QStringLiteral("value"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    return option;
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

WindowOptions ParseWindowOptions(const QStringList& args, std::ostream& out, std::ostream& err) {
    QCommandLineParser parser;
    // Qt's options have one dash before a whole word ("-platform").
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOption(help);
    parser.addOption(version);
    for (const char* name : kQtValueOptions) parser.addOption(QtOption(name, true));
    for (const char* name : kQtFlags) parser.addOption(QtOption(name, false));

    WindowOptions options;
    const auto answer = [&](std::ostream& stream, const std::string& text, int status) {
        stream << text;
        stream.flush();
        options.exitStatus = stream ? status : 1;
        return options;
    };
    if (!parser.parse(args)) {
        return answer(err,
                      "pemberlock: " + parser.errorText().toStdString() +
                          "\nTry 'pemberlock --help' for more information.\n",
                      2);
    }
    if (parser.isSet(help)) return answer(out, kHelp, 0);
    if (parser.isSet(version)) {
        return answer(out, std::string("pemberlock ") + kVersion + "\n" + kCopyrightNotice + "\n",
                      0);
    }
    const QStringList maps = parser.positionalArguments();
    if (maps.size() > 1) {
        return answer(err,
                      "pemberlock: one map file at most, not " + std::to_string(maps.size()) +
                          "\nTry 'pemberlock --help' for more information.\n",
                      2);
    }
    if (!maps.isEmpty()) options.mapPath = maps.front();
    return options;
}

}  // namespace pemberlock
