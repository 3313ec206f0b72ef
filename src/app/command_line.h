// The command line: options and their values, the usage text, and the check
// that the sizes of a run are usable.
#pragma once

#include <string>

#include "frame/settings.h"

namespace focustrack {

// Parses the words exactly as the process received them (program name first).
// Never fails and prints nothing: malformed numbers follow atoi/atof, unknown
// words are skipped (and listed in unknownOptions when they start with '-').
RunSettings parseCommandLine(int argc, const char* const* argv);

// True when width, height, sliceCount and both digit counts are at least 1 and
// width x height fits a 32-bit pixel index.
bool sizesAreUsable(const RunSettings& settings, std::string* reason);

// True when the unit options given are positive numbers, the image format is
// bmp or png and the zoomed result image stays within the BMP size limit.
bool outputChoicesAreUsable(const RunSettings& settings, std::string* reason);

// The usage text listing every option with its default.
std::string usageText();

}  // namespace focustrack
