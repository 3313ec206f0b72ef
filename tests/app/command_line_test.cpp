#include "app/command_line.h"
#include "output/tables.h"

#include <gtest/gtest.h>

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
// program does when an option is left out.
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
}

// The value options that whole runs elsewhere leave at their defaults, and
// -o: each takes the next word, and its last occurrence wins.
TEST(Settings, EveryOptionTakesTheNextWordAndItsLastOccurrenceWins) {
  // Each value option is given twice, first with the value 1.
  std::vector<std::string> words;
  for (const auto& [option, value] : std::vector<std::pair<std::string, std::string>>{
           {"-o", "out"}, {"-fl", "5"}, {"-ss", "2"}, {"-sl", "2"}, {"-th", "0.75"},
           {"-tc", "0.25"}, {"-tv", "0.05"}, {"-b", "3"}}) {
    words.insert(words.end(), {option, "1", option, value});
  }
  const RunSettings s = parse(words);
  EXPECT_EQ(s.outputFolder, "out");
  EXPECT_EQ((std::vector<int32_t>{s.frameDigits, s.firstSlice, s.sliceDigits, s.sliceTrimLimit}),
            (std::vector<int32_t>{5, 2, 2, 3}));
  EXPECT_DOUBLE_EQ(s.nucleusThreshold, 0.75);
  EXPECT_DOUBLE_EQ(s.coreThreshold, 0.25);
  EXPECT_DOUBLE_EQ(s.riseTolerance, 0.05);
}

TEST(Settings, PendingOptionTakesAWordThatLooksLikeAnOption) {
  // "-w -h": the width is read from "-h" (not a number) and "-h" does not
  // become pending.
  const RunSettings s = parse({"-w", "-h", "300"});
  EXPECT_EQ(std::pair(s.width, s.height), std::pair(960, 720));
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
  EXPECT_EQ(parse({"-th", "1e-1"}).nucleusThreshold, 0.1);  // not the default
  for (const char* word : {"+17", "  42", "-0.5"}) EXPECT_TRUE(parse({"-th", word}).optionErrors.empty()) << word;
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
  const RunSettings s = parse({"-W", "5", "-width", "6", "-i2"});
  EXPECT_EQ(s.width, 960);
  EXPECT_FALSE(s.writeResultImages);
  EXPECT_EQ(s.unknownOptions, (std::vector<std::string>{"-W", "-width", "-i2"}));
  EXPECT_EQ(s.optionWarnings.size(), 2u);
}

// Sizes and counts a run can use; --threads takes a count (0, the default,
// for every core) and refuses negative ones.
TEST(Settings, UsableSizesAndThreadCounts) {
  std::string why;
  EXPECT_TRUE(sizesAreUsable(parse({}), &why));
  EXPECT_EQ(parse({"--threads", "3"}).threads, 3);
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
      {{"--pixel-size", "0"}, "--pixel-size"},   {{"--interval", "nan"}, "--interval"},
      {{"--image-format", "PNG"}, "--image-format"},
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
