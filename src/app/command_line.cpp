#include "app/command_line.h"

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
  MinCircularity, PixelSize, Interval, ImageZoom, ImageFormat
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
};

constexpr int32_t kLargestZoom = 16;  // a 960-pixel frame becomes 15360 pixels wide

// A real number that is the whole word; not-a-number otherwise, which the
// start-up check rejects with the word.
double strictReal(const char* word) {
  char* end = nullptr;
  const double value = std::strtod(word, &end);
  return end != word && *end == '\0' ? value : std::numeric_limits<double>::quiet_NaN();
}

// A whole number that is the whole word; 0 otherwise (never a valid channel).
int32_t strictCount(const char* word) {
  char* end = nullptr;
  const long value = std::strtol(word, &end, 10);
  const bool whole = end != word && *end == '\0' && value >= 0 && value <= INT32_MAX;
  return whole ? static_cast<int32_t>(value) : 0;
}

void assign(RunSettings& s, Pending option, const char* word) {
  switch (option) {
    case Pending::Width: s.width = std::atoi(word); s.widthGiven = true; break;
    case Pending::Height: s.height = std::atoi(word); s.heightGiven = true; break;
    case Pending::Pattern: s.pathPattern = word; break;
    case Pending::Output: s.outputFolder = word; break;
    case Pending::FirstFrame: s.firstFrame = std::atoi(word); break;
    case Pending::FrameCount: s.frameCount = std::atoi(word); s.frameCountGiven = true; break;
    case Pending::FrameDigits: s.frameDigits = std::atoi(word); break;
    case Pending::FirstSlice: s.firstSlice = std::atoi(word); break;
    case Pending::SliceCount: s.sliceCount = std::atoi(word); s.sliceCountGiven = true; break;
    case Pending::SliceDigits: s.sliceDigits = std::atoi(word); break;
    case Pending::NucleusThreshold: s.nucleusThreshold = std::atof(word); break;
    case Pending::CoreThreshold: s.coreThreshold = std::atof(word); break;
    case Pending::RiseTolerance: s.riseTolerance = std::atof(word); break;
    case Pending::SliceTrimLimit: s.sliceTrimLimit = std::atoi(word); break;
    case Pending::Dump: s.dumpFolder = word; break;
    case Pending::Scale: s.scale = strictReal(word); break;
    case Pending::Channel: s.channel = strictCount(word); break;
    case Pending::Exclude: s.excludeMaskPath = word; break;
    case Pending::MinArea: s.minArea = std::atoi(word); break;
    case Pending::MaxArea: s.maxArea = std::atoi(word); break;
    case Pending::MinCircularity: s.minCircularity = std::atof(word); break;
    case Pending::PixelSize:
      s.pixelSize = strictReal(word);
      s.pixelSizeSource = "option";
      break;
    case Pending::Interval:
      s.frameInterval = strictReal(word);
      s.frameIntervalSource = "option";
      break;
    case Pending::ImageZoom: s.imageZoom = std::atoi(word); break;
    case Pending::ImageFormat: s.imageFormat = word; break;
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
      "  --help    print this text and exit\n"
      "  --version print the version and exit\n";
}

}  // namespace focustrack
