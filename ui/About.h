// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

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

// Answers --help and --version of the window program (args without the
// program name) on out. Returns the exit status when the program should end
// there, or nothing when it should open its window. Needs no display, so that
// it works on a server and for help2man.
std::optional<int> AnswerInfoOptions(const std::vector<std::string>& args, std::ostream& out);

}  // namespace pemberlock
