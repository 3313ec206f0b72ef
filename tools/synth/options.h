// The command line of focustrack-synth. Option words follow the analyser
// where both programs have the setting; values are checked strictly.
#pragma once

#include <string>

#include "synth/synth.h"

namespace focustrack {

enum class SynthCommand { Generate, Help, Invalid };

// Parses the words exactly as the process received them (program name
// first). Invalid: `error` says which word is wrong and why.
SynthCommand parseSynthCommandLine(int argc, const char* const* argv, SynthOptions* options,
                                   std::string* error);

std::string synthUsageText();

}  // namespace focustrack
