// focustrack-synth: writes a synthetic recording with its ground truth.
// Exit status: 0 done, 1 a file could not be written, 2 bad command line.
#include <cstdio>
#include <string>

#include "synth/options.h"
#include "synth/synth.h"

int main(int argc, char** argv) {
  using namespace focustrack;
  SynthOptions options;
  std::string error;
  switch (parseSynthCommandLine(argc, argv, &options, &error)) {
    case SynthCommand::Help:
      std::fputs(synthUsageText().c_str(), stdout);
      return 0;
    case SynthCommand::Invalid:
      std::fprintf(stderr, "focustrack-synth: %s (see --help)\n", error.c_str());
      return 2;
    case SynthCommand::Generate:
      break;
  }
  if (!generateRecording(options, &error)) {
    std::fprintf(stderr, "focustrack-synth: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
