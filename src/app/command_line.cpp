#include "app/command_line.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace focustrack {

namespace {

enum class Pending {
  None, Width, Height, Pattern, Output, FirstFrame, FrameCount, FrameDigits,
  FirstSlice, SliceCount, SliceDigits, NucleusThreshold, CoreThreshold,
  RiseTolerance, SliceTrimLimit, Dump, Threads
};

struct OptionName {
  const char* word;
  Pending option;
};

constexpr OptionName kValueOptions[] = {
    {"-w", Pending::Width},           {"-h", Pending::Height},
    {"-p", Pending::Pattern},         {"-o", Pending::Output},
    {"-fs", Pending::FirstFrame},     {"-c", Pending::FrameCount},
    {"-fl", Pending::FrameDigits},    {"-ss", Pending::FirstSlice},
    {"-sc", Pending::SliceCount},     {"-sl", Pending::SliceDigits},
    {"-th", Pending::NucleusThreshold}, {"-tc", Pending::CoreThreshold},
    {"-tv", Pending::RiseTolerance},  {"-b", Pending::SliceTrimLimit},
    {"--dump", Pending::Dump},        {"--threads", Pending::Threads},
};

void assign(RunSettings& s, Pending option, const char* word) {
  switch (option) {
    case Pending::Width: s.width = std::atoi(word); break;
    case Pending::Height: s.height = std::atoi(word); break;
    case Pending::Pattern: s.pathPattern = word; break;
    case Pending::Output: s.outputFolder = word; break;
    case Pending::FirstFrame: s.firstFrame = std::atoi(word); break;
    case Pending::FrameCount: s.frameCount = std::atoi(word); break;
    case Pending::FrameDigits: s.frameDigits = std::atoi(word); break;
    case Pending::FirstSlice: s.firstSlice = std::atoi(word); break;
    case Pending::SliceCount: s.sliceCount = std::atoi(word); break;
    case Pending::SliceDigits: s.sliceDigits = std::atoi(word); break;
    case Pending::NucleusThreshold: s.nucleusThreshold = std::atof(word); break;
    case Pending::CoreThreshold: s.coreThreshold = std::atof(word); break;
    case Pending::RiseTolerance: s.riseTolerance = std::atof(word); break;
    case Pending::SliceTrimLimit: s.sliceTrimLimit = std::atoi(word); break;
    case Pending::Dump: s.dumpFolder = word; break;
    case Pending::Threads: s.threads = std::atoi(word); break;
    case Pending::None: break;
  }
}

}  // namespace

RunSettings parseCommandLine(int argc, const char* const* argv) {
  RunSettings s;
  Pending pending = Pending::None;
  for (int w = 0; w < argc; ++w) {
    const char* word = argv[w];
    // A pending option takes the next word whatever it looks like, so
    // "-w -h" sets the width from "-h" (0) and leaves the height alone.
    if (pending != Pending::None) {
      assign(s, pending, word);
      pending = Pending::None;
      continue;
    }
    bool matched = false;
    for (const OptionName& o : kValueOptions) {
      if (std::strcmp(word, o.word) == 0) {
        pending = o.option;
        matched = true;
        break;
      }
    }
    if (matched) continue;
    if (std::strcmp(word, "-i") == 0) {
      s.writeResultImages = true;
    } else if (std::strcmp(word, "--masks") == 0) {
      s.writeMasks = true;
    } else if (std::strcmp(word, "--stage-times") == 0) {
      s.printStageTimes = true;
    } else if (std::strcmp(word, "--help") == 0) {
      s.showHelp = true;
    } else if (std::strcmp(word, "--version") == 0) {
      s.showVersion = true;
    } else if (w > 0 && word[0] == '-') {
      s.unknownOptions.push_back(word);
    }
  }
  // A trailing option without a value keeps its previous value.
  s.pixelCount = static_cast<int32_t>(static_cast<uint32_t>(s.width) * static_cast<uint32_t>(s.height));
  return s;
}

bool sizesAreUsable(const RunSettings& s, std::string* reason) {
  struct Check {
    const char* option;
    int32_t value;
  };
  const Check checks[] = {{"-w", s.width}, {"-h", s.height}, {"-sc", s.sliceCount},
                          {"-fl", s.frameDigits}, {"-sl", s.sliceDigits}};
  for (const Check& c : checks) {
    if (c.value < 1) {
      *reason = std::string("option ") + c.option + " must be at least 1, got " + std::to_string(c.value);
      return false;
    }
  }
  if (s.threads < 0) {
    *reason = "option --threads must be 0 (every core) or more, got " + std::to_string(s.threads);
    return false;
  }
  const int64_t pixels = int64_t{s.width} * int64_t{s.height};
  if (pixels > std::numeric_limits<int32_t>::max()) {
    *reason = "image of " + std::to_string(s.width) + " x " + std::to_string(s.height) +
              " pixels is too large";
    return false;
  }
  return true;
}

std::string usageText() {
  return
      "Usage: focustrack [options]\n"
      "Analyses a time-lapse bright-field recording, one z-stack of 8-bit slices per frame.\n"
      "\n"
      "  -w N      image width in pixels                         (960)\n"
      "  -h N      image height in pixels                        (720)\n"
      "  -p TEXT   slice path pattern; %0 frame number, %1 slice number (empty)\n"
      "  -o DIR    output folder for tables and images           (current folder)\n"
      "  -fs N     number of the first frame                     (1)\n"
      "  -c N      number of frames                              (5)\n"
      "  -fl N     minimum digits of the frame number            (4)\n"
      "  -ss N     number of the first slice                     (1)\n"
      "  -sc N     slices per frame                              (16)\n"
      "  -sl N     minimum digits of the slice number            (3)\n"
      "  -th X     nucleus score threshold                       (0.6)\n"
      "  -tc X     core threshold on the delta value             (0.1)\n"
      "  -tv X     rise tolerance of the nucleus outer outline   (0.1)\n"
      "  -b N      most slices the range search may drop         (4)\n"
      "  -i        write a result image per frame               (off)\n"
      "  --dump DIR  write each frame's intermediate maps as TIFF (off)\n"
      "  --masks   write a 16/32-bit label mask per frame        (off)\n"
      "  --stage-times  print the time of every stage and the peak memory at the end (off)\n"
      "  --threads N  threads; 0 = every core the process may use, 1 = one thread (0)\n"
      "            The console's and --stage-times' milliseconds are elapsed time\n"
      "            (a monotonic clock), not processor time.\n"
      "  --help    print this text and exit\n"
      "  --version print the version and exit\n";
}

}  // namespace focustrack
