// The settings check: what the silent plug-in would do with a settings file that an operator
// would want to know before a server runs it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "TextFile.h"

class INIClass;

namespace sim {

// Reads the settings file at `path` as the plug-in will see it into `ini` and checks it: each
// finding a warning about a line of the file (line 0: the whole file), in the order of the file;
// or the finding that refuses the file.
text::Expected<std::vector<text::Diagnostic>> Lint_Settings(const std::string& path, INIClass& ini);

// Prints findings as "FILE:LINE: warning: ..." to `out` ("FILE: no findings" when there are
// none), then what is in force; with `as_json`, all of it as one JSON object instead. The number
// of warnings, or the finding that refuses the file (nothing is printed of it then).
text::Expected<int> Check_Settings(const std::string& path, std::FILE* out, bool as_json = false);

// Reads the settings file at `path` as the plug-in will see it into `ini`, and writes what
// --check says of it to `warnings` (nothing when null). The number of warnings, or the finding
// that refuses the file.
text::Expected<int> Read_Checked_Settings(const std::string& path, INIClass& ini, std::FILE* warnings);

}  // namespace sim
