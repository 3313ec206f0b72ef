// The command line: options and their values, the usage text, and the check
// that the sizes of a run are usable.
#pragma once

#include <string>
#include <vector>

#include "frame/settings.h"

namespace focustrack {

// Parses the words exactly as the process received them (program name first).
// Prints nothing. A number that parses cleanly has its atoi/atof meaning; a
// value that is not a clean number (letters, trailing text, a fraction for a
// whole number, beyond 32 bits, not finite, a negative frame count) leaves
// the option unchanged and is listed in optionErrors. Unknown words are
// skipped (and listed in unknownOptions when they start with '-'); a stray
// word and a last option without its value are listed in optionWarnings.
RunSettings parseCommandLine(int argc, const char* const* argv);

// True when width, height, sliceCount and both digit counts are at least 1,
// the digit counts at most 18, and width x height fits a 32-bit pixel index.
bool sizesAreUsable(const RunSettings& settings, std::string* reason);

// True when the unit options given are positive numbers, the image format is
// bmp or png and the zoomed result image stays within the BMP size limit.
bool outputChoicesAreUsable(const RunSettings& settings, std::string* reason);

// What the run should warn about before it starts: the option warnings of
// parsing and a single slice per frame.
std::vector<std::string> settingsWarnings(const RunSettings& settings);

// The usage text listing every option with its default.
std::string usageText();

}  // namespace focustrack
