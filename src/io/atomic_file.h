// Files written whole or not at all: every image, mask, dump and run.json is
// written under a temporary name in its own folder and renamed to its final
// name once complete, so that a run that is killed or meets a full disk never
// leaves a truncated file under a final name.
#pragma once

#include <string>

namespace focustrack {

// The name to write `path` under: in the same folder (a rename never crosses
// file systems), with ".part" appended so that no final name matches it. A
// path that names something other than a regular file (a device, a FIFO, a
// link) is written in place, as it is: renaming over it would replace it.
std::string temporaryPath(const std::string& path);

// Renames the complete temporary file to `path`, replacing what was there;
// nothing to do when the file was written in place. On failure the
// temporary file is removed and `reason` gives the cause.
bool publishFile(const std::string& temporary, const std::string& path, std::string* reason);

// Removes a temporary file that will not be completed (never a file written
// in place).
void discardFile(const std::string& temporary, const std::string& path);

}  // namespace focustrack
