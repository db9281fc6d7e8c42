// Writing what the simulator tells so that a failure is never taken for success, and so that no
// write harms what its path names: a full disk or a closed pipe is an error with a message, a
// file is written whole or not at all, and a device, a pipe, a link or an input stays what it is.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "TextFile.h"

namespace sim {

// Sets up the process's standard streams before anything is written: a closed standard stream
// is held open on a descriptor that refuses every read and write (so no file this program opens
// takes its number, and writing to it fails), and a reader that goes away (a broken pipe) ends
// the run at once with exit status 2 and the name of the output it was reading.
void Guard_Outputs();

// Writes `text` to `path` whole or not at all, where "-" is standard output.
// - A regular file, or a name that does not exist yet: written into a new temporary file in the
//   same folder (created exclusively, never through a link), flushed, then renamed over it. An
//   existing file keeps its permissions.
// - A symbolic link: followed to its end, and the file there written that way; the link stays.
// - A pipe or a character device (/dev/null, /dev/fd/N, a FIFO): written in place, never replaced.
// - A folder, a block device, a socket, a path that cannot be written, or one of `inputs` (the
//   run's own scenario, settings and plug-in): an error.
// Fails ("PATH: cannot write: why") when it cannot.
text::Status Write_File_Whole(const std::string& path, const std::string& text, const std::vector<std::string>& inputs);

// Flushes `out`; fails when anything written to it was lost.
text::Status Flush_Output(std::FILE* out, const std::string& what);

}  // namespace sim
