// Writing what the simulator tells so that a failure is never taken for success: a full disk or a
// closed pipe is an error with a message, and a file is written whole or not at all.
#pragma once

#include <cstdio>
#include <string>

namespace sim {

// Writes `text` to `path` whole or not at all: into a temporary file beside it, flushed, then
// renamed over `path`. "-" writes to standard output. False with `error` when it cannot.
bool Write_File_Whole(const std::string& path, const std::string& text, std::string& error);

// Flushes `out`; false with `error` when anything written to it was lost.
bool Flush_Output(std::FILE* out, const std::string& what, std::string& error);

}  // namespace sim
