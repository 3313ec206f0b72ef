#include "synth/options.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace focustrack {

namespace {

// Value limits: image side, digit counts, cells (placement compares every
// pair of cells, so the count is kept moderate), noise sigma.
constexpr int32_t kMaxSide = 65535;
constexpr int32_t kMaxDigits = 20;
constexpr int32_t kMaxCells = 5000;
constexpr double kMaxNoise = 100.0;
constexpr int32_t kMaxChannels = 16;
constexpr int32_t kMaxTrapPairs = 200;

enum class Kind { Int, Seed, Real, Unit, Text, Format };

struct OptionRule {
  const char* word;
  Kind kind;
  int32_t lowest;  // Int only
  int32_t highest;
};

constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();

constexpr OptionRule kOptions[] = {
    {"-w", Kind::Int, 1, kMaxSide},         {"-h", Kind::Int, 1, kMaxSide},
    {"-sc", Kind::Int, 1, kIntMax},         {"-c", Kind::Int, 1, kIntMax},
    {"-p", Kind::Text, 0, 0},               {"-fs", Kind::Int, 0, kIntMax},
    {"-fl", Kind::Int, 1, kMaxDigits},      {"-ss", Kind::Int, 0, kIntMax},
    {"-sl", Kind::Int, 1, kMaxDigits},      {"--cells", Kind::Int, 0, kMaxCells},
    {"--seed", Kind::Seed, 0, 0},           {"--noise", Kind::Real, 0, 0},
    {"--truth", Kind::Text, 0, 0},          {"--format", Kind::Format, 0, 0},
    {"--bits", Kind::Int, 8, 16},           {"--channels", Kind::Int, 1, kMaxChannels},
    {"--channel", Kind::Int, 1, kMaxChannels}, {"--traps", Kind::Int, 0, kMaxTrapPairs},
    {"--pixel-size", Kind::Unit, 0, 0},     {"--interval", Kind::Unit, 0, 0},
};

struct FormatName {
  const char* word;
  SynthFormat format;
};

constexpr FormatName kFormats[] = {
    {"slices", SynthFormat::Slices},
    {"frame-tiff", SynthFormat::FrameTiff},
    {"imagej", SynthFormat::ImageJ},
    {"ome", SynthFormat::Ome},
};

// The whole word must be the number: no sign for unsigned values, no
// leading blanks, nothing after it.
template <typename Number>
bool parseNumber(const char* word, Number* value) {
  const char* end = word + std::strlen(word);
  const auto result = std::from_chars(word, end, *value);
  return result.ec == std::errc() && result.ptr == end && end != word;
}

void storeInt(const char* option, int32_t value, SynthOptions* o) {
  const std::string w = option;
  if (w == "-w") o->width = value;
  else if (w == "-h") o->height = value;
  else if (w == "-sc") o->sliceCount = value;
  else if (w == "-c") o->frameCount = value;
  else if (w == "-fs") o->firstFrame = value;
  else if (w == "-fl") o->frameDigits = value;
  else if (w == "-ss") o->firstSlice = value;
  else if (w == "-sl") o->sliceDigits = value;
  else if (w == "--cells") o->cellCount = value;
  else if (w == "--bits") o->bits = value;
  else if (w == "--channels") o->channels = value;
  else if (w == "--channel") o->brightChannel = value;
  else if (w == "--traps") o->trapPairs = value;
}

bool applyValue(const OptionRule& rule, const char* value, SynthOptions* o, std::string* error) {
  const std::string prefix = std::string("option ") + rule.word + ": ";
  switch (rule.kind) {
    case Kind::Int: {
      int64_t number = 0;
      if (!parseNumber(value, &number) || number < rule.lowest || number > rule.highest) {
        *error = prefix + "'" + value + "' is not a whole number from " + std::to_string(rule.lowest) +
                 " to " + std::to_string(rule.highest);
        return false;
      }
      storeInt(rule.word, static_cast<int32_t>(number), o);
      return true;
    }
    case Kind::Seed:
      if (!parseNumber(value, &o->seed)) {
        *error = prefix + "'" + value + "' is not a whole number from 0 to 18446744073709551615";
        return false;
      }
      return true;
    case Kind::Real:
      if (!parseNumber(value, &o->noise) || !std::isfinite(o->noise) || o->noise < 0.0 || o->noise > kMaxNoise) {
        *error = prefix + "'" + value + "' is not a number from 0 to 100";
        return false;
      }
      return true;
    case Kind::Unit: {
      double number = 0.0;
      if (!parseNumber(value, &number) || !std::isfinite(number) || number <= 0.0) {
        *error = prefix + "'" + value + "' is not a positive number";
        return false;
      }
      (std::strcmp(rule.word, "--pixel-size") == 0 ? o->pixelSize : o->interval) = number;
      return true;
    }
    case Kind::Format:
      for (const FormatName& f : kFormats) {
        if (std::strcmp(value, f.word) == 0) {
          o->format = f.format;
          return true;
        }
      }
      *error = prefix + "'" + value + "' is not one of slices, frame-tiff, imagej, ome";
      return false;
    case Kind::Text:
      if (value[0] == '\0') {
        *error = prefix + "the value is empty";
        return false;
      }
      if (std::strcmp(rule.word, "-p") == 0) o->pathPattern = value;
      else o->truthFolder = value;
      return true;
  }
  return false;
}

const OptionRule* findOption(const char* word) {
  for (const OptionRule& rule : kOptions) {
    if (std::strcmp(word, rule.word) == 0) return &rule;
  }
  return nullptr;
}

// The pattern must name what the format writes, and the channels must fit.
bool checkLayout(const SynthOptions& o, std::string* error) {
  const bool frame = o.pathPattern.find("%0") != std::string::npos;
  const bool slice = o.pathPattern.find("%1") != std::string::npos;
  if (o.bits != 8 && o.bits != 16) {
    *error = "option --bits: " + std::to_string(o.bits) + " is not 8 or 16";
    return false;
  }
  if (o.format == SynthFormat::Slices && o.channels != 1) {
    *error = "several channels need a stack format (--format frame-tiff, imagej or ome)";
    return false;
  }
  if (o.brightChannel > o.channels) {
    *error = "option --channel: " + std::to_string(o.brightChannel) + " is beyond the " +
             std::to_string(o.channels) + " channels";
    return false;
  }
  if (o.format == SynthFormat::FrameTiff && (!frame || slice)) {
    *error = "--format frame-tiff needs a pattern with %0 and without %1 (for example run/t%0.tif)";
    return false;
  }
  if ((o.format == SynthFormat::ImageJ || o.format == SynthFormat::Ome) && (frame || slice)) {
    *error = "--format imagej and ome write one file: a pattern without %0 and %1 (for example run/rec.tif)";
    return false;
  }
  return true;
}

}  // namespace

SynthCommand parseSynthCommandLine(int argc, const char* const* argv, SynthOptions* options,
                                   std::string* error) {
  for (int w = 1; w < argc; ++w) {
    const char* word = argv[w];
    if (std::strcmp(word, "--help") == 0) return SynthCommand::Help;
    const OptionRule* rule = findOption(word);
    if (rule == nullptr) {
      *error = std::string(word[0] == '-' ? "unknown option '" : "unexpected word '") + word + "'";
      return SynthCommand::Invalid;
    }
    if (w + 1 >= argc) {
      *error = std::string("option ") + word + " needs a value";
      return SynthCommand::Invalid;
    }
    if (!applyValue(*rule, argv[++w], options, error)) return SynthCommand::Invalid;
  }
  if (options->pathPattern.empty()) {
    *error = "the slice path pattern is missing (-p, for example -p demo/t%0_z%1.tif)";
    return SynthCommand::Invalid;
  }
  if (!checkLayout(*options, error)) return SynthCommand::Invalid;
  if (int64_t{options->width} * options->height > std::numeric_limits<int32_t>::max()) {
    *error = "an image of " + std::to_string(options->width) + " x " + std::to_string(options->height) +
             " pixels is too large";
    return SynthCommand::Invalid;
  }
  if (int64_t{options->firstFrame} + options->frameCount - 1 > kIntMax ||
      int64_t{options->firstSlice} + options->sliceCount - 1 > kIntMax) {
    *error = "frame or slice numbers run past " + std::to_string(kIntMax);
    return SynthCommand::Invalid;
  }
  return SynthCommand::Generate;
}

std::string synthUsageText() {
  return
      "Usage: focustrack-synth -p PATTERN [options]\n"
      "Writes a synthetic bright-field recording: one through-focus stack of 8-bit\n"
      "grey TIFF slices per frame, with a 16-bit truth label image per frame\n"
      "(0 background, otherwise the cell's track id) and truth.csv.\n"
      "\n"
      "  -p TEXT      slice path pattern; %0 frame number, %1 slice number (required)\n"
      "  -w N         image width in pixels                      (960)\n"
      "  -h N         image height in pixels                     (720)\n"
      "  -sc N        slices per frame                           (16)\n"
      "  -c N         number of frames                           (5)\n"
      "  -fs N        number of the first frame                  (1)\n"
      "  -fl N        minimum digits of the frame number         (4)\n"
      "  -ss N        number of the first slice                  (1)\n"
      "  -sl N        minimum digits of the slice number         (3)\n"
      "  --cells N    number of cells       (one per 9000 pixels, at least 1)\n"
      "  --seed N     random seed; the same seed gives the same files (1)\n"
      "  --noise X    grey-level noise sigma                     (2)\n"
      "  --traps N    N pillar pairs of a trap device that never move; their\n"
      "               pixels are 0 in the truth images and 255 in device.tif (0)\n"
      "  --truth DIR  folder of truth_NNNN.tif and truth.csv     (the slices' folder)\n"
      "  --format F   slices (one TIFF per slice), frame-tiff (one multi-page TIFF per\n"
      "               frame, pattern with %0 only), imagej (ImageJ hyperstack) or ome\n"
      "               (OME-TIFF), both one file for the recording (slices)\n"
      "  --bits N     8, or 16 for grey values times 257         (8)\n"
      "  --channels N channels per slice of a stack file; all but one hold\n"
      "               the negative of the bright-field slice     (1)\n"
      "  --channel N  the bright-field channel                   (1)\n"
      "  --pixel-size UM  microns per pixel, recorded in an imagej or ome file (none)\n"
      "  --interval MIN   minutes between frames, recorded in an imagej or ome file (none)\n"
      "  --help       print this text and exit\n"
      "\n"
      "Example: focustrack-synth -w 320 -h 240 -p demo/t%0_z%1.tif\n";
}

}  // namespace focustrack
