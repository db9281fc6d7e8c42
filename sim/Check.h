// The settings check: what the silent plug-in would do with a settings file that an operator
// would want to know before a server runs it.
#pragma once

#include <cstdio>
#include <string>

namespace sim {

// Prints findings as "FILE:LINE: warning: ..." to `out`. Returns 0 when there is nothing to
// say, 1 with warnings, 2 when the file cannot be read (the error goes to `err`).
int Check_Settings(const std::string& path, std::FILE* out, std::FILE* err);

}  // namespace sim
