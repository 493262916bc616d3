// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/ModuleTable.h"

#include <algorithm>

namespace pemberlock {
namespace {

const ModuleParameter* LowerBound(int type, int index) {
    const std::span<const ModuleParameter> rows = ModuleParameters();
    const auto at = std::lower_bound(rows.begin(), rows.end(), std::pair{type, index},
                                     [](const ModuleParameter& row, std::pair<int, int> key) {
                                         return std::pair{row.type, row.index} < key;
                                     });
    return rows.data() + (at - rows.begin());
}

}  // namespace

std::span<const ModuleParameter> ModuleParameters() {
    return {detail::kModuleTable, detail::kModuleTableSize};
}

const ModuleParameter* FindModuleParameter(int type, int index) {
    const ModuleParameter* row = LowerBound(type, index);
    const ModuleParameter* end = detail::kModuleTable + detail::kModuleTableSize;
    return row != end && row->type == type && row->index == index ? row : nullptr;
}

std::string_view ModuleTypeName(int type) {
    const ModuleParameter* row = LowerBound(type, 0);
    const ModuleParameter* end = detail::kModuleTable + detail::kModuleTableSize;
    return row != end && row->type == type ? row->typeName : std::string_view();
}

}  // namespace pemberlock
