// The contract's settings table as the simulator reads and shows it: every output that names a
// setting or prints its value goes through here, so no key is written anywhere else.
#pragma once

#include <string>

#include "Contract.h"

namespace sim {

// The row of `key`, in any case (the host reads keys so); null for none. (Each translation unit
// has its own copy of the table, so rows are told apart by their keys, not their addresses.)
const SettingSpec* Setting_Named(const std::string& key);
// A setting's value as the outputs print it: a whole number as it is, a real one in its shortest
// form ("1", "0.5", "1e+39").
std::string Value_Text(const SettingsValues& values, const SettingSpec& setting);
// Every key in the table's order, "A, B or C" (`last` joins the last two: " or ", ", ").
std::string Keys_Text(const char* last);
// "CheckInterval 2, ChecksCount 4, ScriptCheckingInterval 1".
std::string Numbers_Text(const SettingsValues& values);

}  // namespace sim
