// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QString>

#include <string>

namespace pemberlock {

// A path as the core takes it: UTF-8 on every system (QFile::encodeName
// would give Windows' legacy code page, which cannot hold every name), with
// the system's own separators: Qt hands Windows paths over with '/', and
// the status box, the reports and the paths made from a dropped folder
// would mix the two.
inline std::string CorePath(const QString& path) {
    return QDir::toNativeSeparators(path).toStdString();
}

}  // namespace pemberlock
