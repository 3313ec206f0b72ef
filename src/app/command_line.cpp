#include "app/command_line.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace focustrack {

namespace {

enum class Pending {
  None, Width, Height, Pattern, Output, FirstFrame, FrameCount, FrameDigits,
  FirstSlice, SliceCount, SliceDigits, NucleusThreshold, CoreThreshold,
  RiseTolerance, SliceTrimLimit, Dump, Scale, Channel, Exclude, MinArea, MaxArea,
  MinCircularity, PixelSize, Interval, ImageZoom, ImageFormat, Threads
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
    {"--dump", Pending::Dump},        {"--scale", Pending::Scale},
    {"--channel", Pending::Channel},  {"--exclude", Pending::Exclude},
    {"--min-area", Pending::MinArea}, {"--max-area", Pending::MaxArea},
    {"--min-circularity", Pending::MinCircularity},
    {"--pixel-size", Pending::PixelSize}, {"--interval", Pending::Interval},
    {"--image-zoom", Pending::ImageZoom}, {"--image-format", Pending::ImageFormat},
    {"--threads", Pending::Threads},
};

constexpr int32_t kLargestZoom = 16;  // a 960-pixel frame becomes 15360 pixels wide

// More threads than this only costs memory: a frame has two cores' work.
constexpr int32_t kMaxThreads = 1024;

const char* nameOf(Pending option) {
  for (const OptionName& o : kValueOptions) {
    if (o.option == option) return o.word;
  }
  return "";
}

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// A whole number as atoi reads it, when the word holds nothing else: blanks,
// an optional sign, decimal digits, blanks. Anything else, or a value beyond
// 32 bits, is an error naming the option and the word.
void readWhole(const char* word, Pending option, int32_t* target, std::vector<std::string>& errors) {
  const char* at = word;
  while (isBlank(*at)) ++at;
  const bool negative = *at == '-';
  if (*at == '+' || *at == '-') ++at;
  const char* digits = at;
  int64_t magnitude = 0;
  bool tooLarge = false;
  for (; *at >= '0' && *at <= '9'; ++at) {
    magnitude = magnitude * 10 + (*at - '0');
    if (magnitude > int64_t{INT32_MAX} + 1) {
      tooLarge = true;
      magnitude = int64_t{INT32_MAX} + 1;
    }
  }
  const char* end = at;
  while (isBlank(*at)) ++at;
  const std::string quoted = std::string("'") + word + "'";
  if (end == digits || *at != '\0') {
    errors.push_back(std::string("option ") + nameOf(option) + " expects a whole number, got " + quoted);
    return;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (tooLarge || value > INT32_MAX) {
    errors.push_back(std::string("option ") + nameOf(option) + " value " + quoted +
                     " is out of range (-2147483648 to 2147483647)");
    return;
  }
  *target = static_cast<int32_t>(value);
}

// A real number as atof reads it, when the word holds nothing else and the
// value is finite.
void readReal(const char* word, Pending option, double* target, std::vector<std::string>& errors) {
  char* end = nullptr;
  const double value = std::strtod(word, &end);
  const char* at = end;
  while (isBlank(*at)) ++at;
  const std::string quoted = std::string("'") + word + "'";
  if (end == word || *at != '\0') {
    errors.push_back(std::string("option ") + nameOf(option) + " expects a number, got " + quoted);
  } else if (!std::isfinite(value)) {
    errors.push_back(std::string("option ") + nameOf(option) + " expects a finite number, got " + quoted);
  } else {
    *target = value;
  }
}

// A frame count is a whole number of at least 0 (0 runs no frame).
void readFrameCount(const char* word, int32_t* target, std::vector<std::string>& errors) {
  int32_t count = *target;
  const size_t before = errors.size();
  readWhole(word, Pending::FrameCount, &count, errors);
  if (errors.size() != before) return;
  if (count < 0) {
    errors.push_back(std::string("option -c: the frame count cannot be negative, got '") + word + "'");
    return;
  }
  *target = count;
}

void assign(RunSettings& s, Pending option, const char* word) {
  std::vector<std::string>& e = s.optionErrors;
  switch (option) {
    case Pending::Width: readWhole(word, option, &s.width, e); s.widthGiven = true; break;
    case Pending::Height: readWhole(word, option, &s.height, e); s.heightGiven = true; break;
    case Pending::Pattern: s.pathPattern = word; break;
    case Pending::Output: s.outputFolder = word; break;
    case Pending::FirstFrame: readWhole(word, option, &s.firstFrame, e); break;
    case Pending::FrameCount: readFrameCount(word, &s.frameCount, e); s.frameCountGiven = true; break;
    case Pending::FrameDigits: readWhole(word, option, &s.frameDigits, e); break;
    case Pending::FirstSlice: readWhole(word, option, &s.firstSlice, e); break;
    case Pending::SliceCount: readWhole(word, option, &s.sliceCount, e); s.sliceCountGiven = true; break;
    case Pending::SliceDigits: readWhole(word, option, &s.sliceDigits, e); break;
    case Pending::NucleusThreshold: readReal(word, option, &s.nucleusThreshold, e); break;
    case Pending::CoreThreshold: readReal(word, option, &s.coreThreshold, e); break;
    case Pending::RiseTolerance: readReal(word, option, &s.riseTolerance, e); break;
    case Pending::SliceTrimLimit: readWhole(word, option, &s.sliceTrimLimit, e); break;
    case Pending::Dump: s.dumpFolder = word; break;
    case Pending::Scale: readReal(word, option, &s.scale, e); break;
    case Pending::Channel: readWhole(word, option, &s.channel, e); break;
    case Pending::Exclude: s.excludeMaskPath = word; break;
    case Pending::MinArea: readWhole(word, option, &s.minArea, e); break;
    case Pending::MaxArea: readWhole(word, option, &s.maxArea, e); break;
    case Pending::MinCircularity: readReal(word, option, &s.minCircularity, e); break;
    case Pending::PixelSize:
      readReal(word, option, &s.pixelSize, e);
      s.pixelSizeSource = "option";
      break;
    case Pending::Interval:
      readReal(word, option, &s.frameInterval, e);
      s.frameIntervalSource = "option";
      break;
    case Pending::ImageZoom: readWhole(word, option, &s.imageZoom, e); break;
    case Pending::ImageFormat: s.imageFormat = word; break;
    case Pending::Threads: readWhole(word, option, &s.threads, e); break;
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
    } else if (std::strcmp(word, "--reverse-slices") == 0) {
      s.reverseSlices = true;
    } else if (std::strcmp(word, "--mask-stack") == 0) {
      s.writeMaskStack = true;
    } else if (std::strcmp(word, "--stage-times") == 0) {
      s.printStageTimes = true;
    } else if (std::strcmp(word, "--help") == 0) {
      s.showHelp = true;
    } else if (std::strcmp(word, "--version") == 0) {
      s.showVersion = true;
    } else if (w > 0 && word[0] == '-') {
      s.unknownOptions.push_back(word);
    } else if (w > 0) {
      s.optionWarnings.push_back(std::string("ignoring the word '") + word +
                                 "': it is neither an option nor the value of one");
    }
  }
  // A trailing option without a value keeps its previous value.
  if (pending != Pending::None) {
    s.optionWarnings.push_back(std::string("option ") + nameOf(pending) +
                               " is the last word and has no value; it is ignored");
  }
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
  for (const Check& c : {checks[3], checks[4]}) {
    if (c.value > kMaxNameDigits) {
      *reason = std::string("option ") + c.option + " must be at most " + std::to_string(kMaxNameDigits) +
                ", got " + std::to_string(c.value);
      return false;
    }
  }
  if (s.threads < 0 || s.threads > kMaxThreads) {
    *reason = "option --threads must be 0 (every core) to " + std::to_string(kMaxThreads) + ", got " +
              std::to_string(s.threads);
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

namespace {

// A unit given on the command line must be a positive finite number.
bool unitIsUsable(const char* option, double value, const std::string& source, std::string* reason) {
  if (source != "option" || (value > 0.0 && std::isfinite(value))) return true;
  char text[128];
  std::snprintf(text, sizeof text, "option %s must be a positive number, got %g", option, value);
  *reason = text;
  return false;
}

}  // namespace

bool outputChoicesAreUsable(const RunSettings& s, std::string* reason) {
  if (!unitIsUsable("--pixel-size", s.pixelSize, s.pixelSizeSource, reason) ||
      !unitIsUsable("--interval", s.frameInterval, s.frameIntervalSource, reason)) {
    return false;
  }
  if (s.imageFormat != "bmp" && s.imageFormat != "png") {
    *reason = "option --image-format must be bmp or png, got '" + s.imageFormat + "'";
    return false;
  }
  if (s.imageZoom < 1 || s.imageZoom > kLargestZoom) {
    *reason = "option --image-zoom must be 1 to " + std::to_string(kLargestZoom) + ", got " +
              std::to_string(s.imageZoom);
    return false;
  }
  // A zoomed BMP must fit the format's 32-bit size fields (an unzoomed one
  // that does not is reported frame by frame, as it always was).
  const uint64_t rowBytes = (uint64_t(s.width) * uint64_t(s.imageZoom) * 3 + 3) / 4 * 4;
  if (s.writeResultImages && s.imageZoom > 1 && s.imageFormat == "bmp" && s.width > 0 && s.height > 0 &&
      rowBytes * uint64_t(s.height) * uint64_t(s.imageZoom) > 0xFFFFFFFFull - 54) {
    *reason = "result image of " + std::to_string(s.width) + " x " + std::to_string(s.height) +
              " pixels zoomed " + std::to_string(s.imageZoom) + " times is too large";
    return false;
  }
  return true;
}

std::vector<std::string> settingsWarnings(const RunSettings& s) {
  std::vector<std::string> warnings = s.optionWarnings;
  if (s.sliceCount == 1) {
    warnings.push_back("one slice per frame (-sc 1) cannot show a change through focus; no cell will be found");
  }
  return warnings;
}

std::string usageText() {
  return
      "Usage: focustrack [options]\n"
      "Analyses a time-lapse bright-field recording, one z-stack of 8- or 16-bit slices per frame.\n"
      "\n"
      "  -w N      image width in pixels                         (960)\n"
      "  -h N      image height in pixels                        (720)\n"
      "  -p TEXT   slice path pattern; %0 frame number, %1 slice number (empty);\n"
      "            without %1 one multi-page TIFF per frame, without both one file\n"
      "            (ImageJ hyperstack or OME-TIFF) for the whole recording\n"
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
      "  --mask-stack  write the label masks of all frames as one multi-page TIFF, masks.tif (off)\n"
      "  --image-zoom N  draw the result image N times larger, 1 to 16 (1)\n"
      "  --image-format F  result image format, bmp or png      (bmp)\n"
      "  --pixel-size UM  width of an input pixel in microns     (the file's metadata, else unknown)\n"
      "  --interval MIN  time between frames in minutes          (the file's metadata, else unknown)\n"
      "  --stage-times  print the time of every stage and the peak memory at the end (off)\n"
      "  --scale F       resample every slice by F before analysis   (1)\n"
      "  --channel N     bright-field channel of a stack file        (1)\n"
      "  --reverse-slices  take the slices of every frame last to first (off)\n"
      "  --exclude FILE  device mask: cells at least half on its non-zero pixels get\n"
      "            no row, like cells on the image border          (off)\n"
      "  --min-area N  cells below N pixels get no row              (off)\n"
      "  --max-area N  cells above N pixels get no row              (off)\n"
      "  --min-circularity X  cells below this circularity get no row (off)\n"
      "  --threads N  threads; 0 = every core the process may use, 1 = one thread (0)\n"
      "            The console's and --stage-times' milliseconds are elapsed time\n"
      "            (a monotonic clock), not processor time.\n"
      "  --help    print this text and exit\n"
      "  --version print the version and exit\n"
      "\n"
      "Exit status: 0 when every requested frame completed or the recording ended (a\n"
      "frame after the first none of whose slices exists); 2 when the run ended early at\n"
      "a frame that is there but broken (a slice missing or unreadable), keeping the rows\n"
      "of the frames before it; 1 when the run could not start (unusable options, too\n"
      "little memory, an output folder, table or dump folder that cannot be created, an\n"
      "output folder in use by another run, no slice of the first frame) or a write\n"
      "failed; 130 or 143 when stopped by SIGINT or SIGTERM after finishing the file\n"
      "being written.\n";
}

}  // namespace focustrack
