// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "fileio/FileSystem.h"
#include "sheet/MapSheet.h"

#include <string>

namespace pemberlock {

// The sheet as an SVG document in UTF-8, sized as the page (in millimetres)
// with the layout's points as its user units.
std::string MapSheetSvg(const MapSheetLayout& layout);

// Writes the SVG document to path as safely as a map file is saved.
Result<> SaveMapSheetSvg(const MapSheetLayout& layout, const std::string& path,
                         FileSystem& fs = RealFileSystem());

}  // namespace pemberlock
