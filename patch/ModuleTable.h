// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace pemberlock {

// One parameter of a module type, as the synthesizer's module list gives it
// (data/modules.tsv, made into a table at build time).
struct ModuleParameter {
    int type;                   // the module type number in [ModuleDump]
    std::string_view typeName;  // "FilterE"
    int index;                  // the parameter's index in a key, from 0
    std::string_view name;      // "frequency"
    std::string_view range;     // "0..127"
};

// Every row, by type and then parameter index.
std::span<const ModuleParameter> ModuleParameters();
// The parameter, or null when the type or its parameter is not in the list.
const ModuleParameter* FindModuleParameter(int type, int index);
// "FilterE"; empty for a type not in the list.
std::string_view ModuleTypeName(int type);

namespace detail {
extern const ModuleParameter kModuleTable[];
extern const std::size_t kModuleTableSize;
}  // namespace detail

}  // namespace pemberlock
