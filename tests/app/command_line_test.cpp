#include "app/command_line.h"
#include "output/tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace focustrack {

namespace {

RunSettings parse(std::vector<std::string> words) {
  words.insert(words.begin(), "focustrack");
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  return parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

// The help text is what users read the defaults from: it must say what the
// program does when an option is left out, list every other option, and
// tell the exit statuses.
TEST(Settings, HelpStatesTheDefaultsAParseWithoutOptionsGives) {
  const RunSettings s = parse({});
  const std::string usage = usageText();
  // Whether the option's line ends with the value in brackets.
  const auto shows = [&usage](const std::string& option, const std::string& value) {
    const size_t at = usage.find("\n  " + option + " ");
    return at != std::string::npos && usage.substr(at, usage.find('\n', at + 1) - at).ends_with("(" + value + ")");
  };
  const std::pair<const char*, std::string> defaults[] = {
      {"-w", std::to_string(s.width)},          {"-h", std::to_string(s.height)},
      {"-fs", std::to_string(s.firstFrame)},    {"-c", std::to_string(s.frameCount)},
      {"-fl", std::to_string(s.frameDigits)},   {"-ss", std::to_string(s.firstSlice)},
      {"-sc", std::to_string(s.sliceCount)},    {"-sl", std::to_string(s.sliceDigits)},
      {"-b", std::to_string(s.sliceTrimLimit)}, {"-th", formatDouble(s.nucleusThreshold)},
      {"-tc", formatDouble(s.coreThreshold)},   {"-tv", formatDouble(s.riseTolerance)},
      {"-i", s.writeResultImages ? "on" : "off"}, {"--threads N", std::to_string(s.threads)}};
  for (const auto& [option, value] : defaults) EXPECT_TRUE(shows(option, value)) << option;
  EXPECT_EQ(s.pixelCount, s.width * s.height);
  EXPECT_TRUE(s.pathPattern.empty() && s.outputFolder.empty() && s.unknownOptions.empty());
  for (const char* option : {"-p ", "-o ", "--dump ", "--masks ", "--help ", "--version ", "--scale ",
                             "--channel ", "--reverse-slices ", "--mask-stack ", "--image-zoom ",
                             "--image-format ", "--pixel-size ", "--interval "}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
  for (const char* status : {"Exit status: 0 when", "; 2 when", "; 1 when", "130 or 143"}) {
    EXPECT_NE(usage.find(status), std::string::npos) << status;
  }
}

TEST(Settings, EveryOptionTakesTheNextWordAndItsLastOccurrenceWins) {
  // Each value option is given twice, first with the value 1.
  std::vector<std::string> words;
  for (const auto& [option, value] : std::vector<std::pair<std::string, std::string>>{
           {"-w", "234"}, {"-h", "162"}, {"-p", "a/t%0_z%1.tif"}, {"-o", "out"}, {"-fs", "0"},
           {"-c", "7"}, {"-fl", "5"}, {"-ss", "2"}, {"-sc", "9"}, {"-sl", "2"}, {"-th", "0.75"},
           {"-tc", "0.25"}, {"-tv", "0.05"}, {"-b", "3"}, {"--dump", "maps"}}) {
    words.insert(words.end(), {option, "1", option, value});
  }
  words.push_back("-i");
  const RunSettings s = parse(words);
  EXPECT_EQ(s.width, 234);
  EXPECT_EQ(s.height, 162);
  EXPECT_EQ(s.pathPattern, "a/t%0_z%1.tif");
  EXPECT_EQ(s.outputFolder, "out");
  EXPECT_EQ(s.firstFrame, 0);
  EXPECT_EQ(s.frameCount, 7);
  EXPECT_EQ(s.frameDigits, 5);
  EXPECT_EQ(s.firstSlice, 2);
  EXPECT_EQ(s.sliceCount, 9);
  EXPECT_EQ(s.sliceDigits, 2);
  EXPECT_DOUBLE_EQ(s.nucleusThreshold, 0.75);
  EXPECT_DOUBLE_EQ(s.coreThreshold, 0.25);
  EXPECT_DOUBLE_EQ(s.riseTolerance, 0.05);
  EXPECT_EQ(s.sliceTrimLimit, 3);
  EXPECT_EQ(s.dumpFolder, "maps");
  EXPECT_TRUE(s.writeResultImages);
  EXPECT_EQ(s.pixelCount, 234 * 162);
}

TEST(Settings, PendingOptionTakesAWordThatLooksLikeAnOption) {
  // "-w -h": the width is read from "-h" (not a number) and "-h" does not
  // become pending.
  const RunSettings s = parse({"-w", "-h", "300"});
  EXPECT_EQ(s.width, 960);
  EXPECT_EQ(s.height, 720);
  EXPECT_EQ(s.optionErrors, (std::vector<std::string>{"option -w expects a whole number, got '-h'"}));
  // A value that starts with "-" is a value, even a long option's name.
  EXPECT_EQ(parse({"-fs", "-3"}).firstFrame, -3);
  const RunSettings v = parse({"-p", "--help"});
  EXPECT_FALSE(v.showHelp);
  EXPECT_EQ(v.pathPattern, "--help");
}

// Clean numbers keep their atoi and atof meaning, up to the limits of a
// 32-bit whole number.
TEST(Settings, CleanNumbersKeepTheirMeaning) {
  EXPECT_EQ(parse({"-w", "+17"}).width, 17);
  EXPECT_EQ(parse({"-w", "  0042"}).width, 42);
  EXPECT_EQ(parse({"-fs", "-2147483648"}).firstFrame, INT32_MIN);
  EXPECT_EQ(parse({"-fs", "2147483647"}).firstFrame, INT32_MAX);
  EXPECT_EQ(parse({"-tc", "1e-1"}).coreThreshold, 0.1);
  for (const char* word : {"+17", "  42", "-0.5", "1e-1"}) {
    EXPECT_TRUE(parse({"-th", word}).optionErrors.empty()) << word;
  }
}

// Each malformed value is an error naming the option and the text, and the
// option keeps its earlier value.
TEST(Settings, MalformedNumbersAreErrors) {
  struct Case {
    std::vector<std::string> words;
    std::string error;
  };
  const Case cases[] = {
      {{"-w", ""}, "option -w expects a whole number, got ''"},
      {{"-h", "-"}, "option -h expects a whole number, got '-'"},
      {{"-sc", "3 4"}, "option -sc expects a whole number, got '3 4'"},
      {{"-c", "99999999999"}, "option -c value '99999999999' is out of range (-2147483648 to 2147483647)"},
      {{"-fs", "-2147483649"}, "option -fs value '-2147483649' is out of range (-2147483648 to 2147483647)"},
      {{"-c", "-1"}, "option -c: the frame count cannot be negative, got '-1'"},
      {{"-tc", "inf"}, "option -tc expects a finite number, got 'inf'"},
      {{"-th", "1e999"}, "option -th expects a finite number, got '1e999'"},
      {{"-th", "1e-1x"}, "option -th expects a number, got '1e-1x'"},
  };
  const RunSettings defaults = parse({});
  for (const Case& c : cases) {
    const RunSettings s = parse(c.words);
    EXPECT_EQ(s.optionErrors, (std::vector<std::string>{c.error})) << c.words[1];
    EXPECT_EQ(s.frameCount, defaults.frameCount) << c.words[1];
    EXPECT_EQ(s.firstFrame, defaults.firstFrame) << c.words[1];
    EXPECT_EQ(s.nucleusThreshold, defaults.nucleusThreshold) << c.words[1];
  }
  // Every bad value is listed.
  EXPECT_EQ(parse({"-w", "x", "-h", "y"}).optionErrors.size(), 2u);
}

// A trailing option keeps its earlier value; option names match whole
// words, case and all, and the words after an unknown option are stray
// words (the warnings' text is pinned by FrameLoop.FrameCountZeroPrintsStartWarningsAndFinishedOnly).
TEST(Settings, TrailingAndUnknownOptions) {
  EXPECT_EQ(parse({"-o", "first", "-o"}).outputFolder, "first");
  EXPECT_EQ(parse({"-c", "9", "-c"}).frameCount, 9);
  const RunSettings s = parse({"-W", "5", "-width", "6", "-i2"});
  EXPECT_EQ(s.width, 960);
  EXPECT_FALSE(s.writeResultImages);
  EXPECT_EQ(s.unknownOptions, (std::vector<std::string>{"-W", "-width", "-i2"}));
  EXPECT_EQ(s.optionWarnings.size(), 2u);
}

// --channel: text that is not wholly a number is an option error; a clean
// number below 1 is left for the start-up check (--scale's messages are
// pinned by StackInput.FilesThatDisagreeWithThemselvesOrTheOptionsStopTheStart).
TEST(Settings, ChannelTakesWholeNumbers) {
  EXPECT_EQ(parse({"--channel", "1.5"}).optionErrors.size(), 1u);
  EXPECT_EQ(parse({"--channel", "-2"}).channel, -2);
}

// Sizes and counts a run can use; --threads takes a count (0, the default,
// for every core) and refuses negative ones.
TEST(Settings, UsableSizesAndThreadCounts) {
  std::string why;
  EXPECT_TRUE(sizesAreUsable(parse({}), &why));
  EXPECT_EQ(parse({"--threads", "3"}).threads, 3);
  EXPECT_EQ(parse({}).threads, 0);
  EXPECT_FALSE(sizesAreUsable(parse({"--threads", "-2"}), &why));
  EXPECT_NE(why.find("--threads"), std::string::npos);
  EXPECT_TRUE(sizesAreUsable(parse({"-w", "1", "-h", "1", "-sc", "1"}), &why));
  for (const char* option : {"-w", "-h", "-sc", "-fl", "-sl"}) {
    why.clear();
    EXPECT_FALSE(sizesAreUsable(parse({option, "0"}), &why)) << option;
    EXPECT_NE(why.find(option), std::string::npos) << why;
  }
  EXPECT_FALSE(sizesAreUsable(parse({"-w", "70000", "-h", "70000"}), &why));
  // Digit counts beyond 18 would only make enormous names.
  EXPECT_TRUE(sizesAreUsable(parse({"-fl", "18", "-sl", "18"}), &why));
  for (const char* option : {"-fl", "-sl"}) {
    EXPECT_FALSE(sizesAreUsable(parse({option, "19"}), &why)) << option;
    EXPECT_EQ(why, std::string("option ") + option + " must be at most 18, got 19");
  }
}

TEST(Settings, UnusableUnitsAndPictureOptionsNameTheOption) {
  const struct {
    std::vector<std::string> words;
    const char* named;
  } cases[] = {
      {{"--pixel-size", "0"}, "--pixel-size"},   {{"--pixel-size", "0.1x"}, "--pixel-size"},
      {{"--pixel-size", "inf"}, "--pixel-size"}, {{"--interval", "nan"}, "--interval"},
      {{"--image-format", "jpg"}, "'jpg'"},      {{"--image-format", "PNG"}, "--image-format"},
      {{"--image-zoom", "0"}, "--image-zoom"},   {{"--image-zoom", "17"}, "--image-zoom"},
      {{"-w", "30000", "-h", "30000", "-i", "--image-zoom", "3"}, "too large"},
  };
  for (const auto& c : cases) {
    std::string why;
    EXPECT_FALSE(outputChoicesAreUsable(parse(c.words), &why)) << c.words[1];
    EXPECT_NE(why.find(c.named), std::string::npos) << why;
  }
  std::string why;
  // The largest zoom of the default size still fits a BMP; without -i, or
  // unzoomed, the size is no reason to refuse the run.
  EXPECT_TRUE(outputChoicesAreUsable(parse({"-i", "--image-zoom", "16"}), &why)) << why;
  EXPECT_TRUE(outputChoicesAreUsable(parse({"-w", "30000", "-h", "30000", "--image-zoom", "3"}), &why));
  EXPECT_TRUE(outputChoicesAreUsable(parse({"-w", "30000", "-h", "30000", "-i"}), &why));
}

}  // namespace

}  // namespace focustrack
