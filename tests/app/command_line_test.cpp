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
  EXPECT_TRUE(shows("-w", std::to_string(s.width)));
  EXPECT_TRUE(shows("-h", std::to_string(s.height)));
  EXPECT_TRUE(shows("-fs", std::to_string(s.firstFrame)));
  EXPECT_TRUE(shows("-c", std::to_string(s.frameCount)));
  EXPECT_TRUE(shows("-fl", std::to_string(s.frameDigits)));
  EXPECT_TRUE(shows("-ss", std::to_string(s.firstSlice)));
  EXPECT_TRUE(shows("-sc", std::to_string(s.sliceCount)));
  EXPECT_TRUE(shows("-sl", std::to_string(s.sliceDigits)));
  EXPECT_TRUE(shows("-b", std::to_string(s.sliceTrimLimit)));
  EXPECT_TRUE(shows("-th", formatDouble(s.nucleusThreshold)));
  EXPECT_TRUE(shows("-tc", formatDouble(s.coreThreshold)));
  EXPECT_TRUE(shows("-tv", formatDouble(s.riseTolerance)));
  EXPECT_TRUE(shows("-i", s.writeResultImages ? "on" : "off"));
  EXPECT_TRUE(shows("--threads N", std::to_string(s.threads)));
  EXPECT_EQ(s.pixelCount, s.width * s.height);
  EXPECT_TRUE(s.pathPattern.empty() && s.outputFolder.empty() && s.unknownOptions.empty());
  for (const char* option : {"-p ", "-o ", "--dump ", "--masks ", "--help ", "--version ", "--scale ",
                             "--channel ", "--reverse-slices ", "--mask-stack ", "--image-zoom ",
                             "--image-format ", "--pixel-size ", "--interval "}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
  EXPECT_NE(usage.find("Exit status: 0 when"), std::string::npos);
  for (const char* status : {"; 2 when", "; 1 when", "130 or 143"}) {
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
  // "-i" as a value is no switch.
  const RunSettings t = parse({"-w", "-i"});
  EXPECT_FALSE(t.writeResultImages);
  EXPECT_EQ(t.optionErrors.size(), 1u);
  // A value that starts with "-" is a value.
  EXPECT_EQ(parse({"-fs", "-3"}).firstFrame, -3);
  EXPECT_EQ(parse({"-o", "-i"}).outputFolder, "-i");
  // So is a long option.
  const RunSettings v = parse({"-p", "--help"});
  EXPECT_FALSE(v.showHelp);
  EXPECT_EQ(v.pathPattern, "--help");
}

// Clean numbers keep their atoi and atof meaning.
TEST(Settings, CleanNumbersKeepTheirMeaning) {
  EXPECT_EQ(parse({"-w", "+17"}).width, 17);
  EXPECT_EQ(parse({"-w", "  42"}).width, 42);
  EXPECT_EQ(parse({"-w", "0042"}).width, 42);
  EXPECT_EQ(parse({"-fs", "-2147483648"}).firstFrame, INT32_MIN);
  EXPECT_EQ(parse({"-fs", "2147483647"}).firstFrame, INT32_MAX);
  EXPECT_EQ(parse({"-tc", "1e-1"}).coreThreshold, 0.1);
  EXPECT_EQ(parse({"-tv", "-0.5"}).riseTolerance, -0.5);
  EXPECT_EQ(parse({"-th", "3"}).nucleusThreshold, 3.0);
  for (const char* word : {"+17", "  42", "0.75", "1e-1", "-0.5"}) {
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
      {{"-w", "12abc"}, "option -w expects a whole number, got '12abc'"},
      {{"-w", "234.5"}, "option -w expects a whole number, got '234.5'"},
      {{"-w", "abc"}, "option -w expects a whole number, got 'abc'"},
      {{"-w", ""}, "option -w expects a whole number, got ''"},
      {{"-h", "-"}, "option -h expects a whole number, got '-'"},
      {{"-sc", "3 4"}, "option -sc expects a whole number, got '3 4'"},
      {{"-w", "2147483648"}, "option -w value '2147483648' is out of range (-2147483648 to 2147483647)"},
      {{"-c", "99999999999"}, "option -c value '99999999999' is out of range (-2147483648 to 2147483647)"},
      {{"-fs", "-2147483649"}, "option -fs value '-2147483649' is out of range (-2147483648 to 2147483647)"},
      {{"-c", "-1"}, "option -c: the frame count cannot be negative, got '-1'"},
      {{"-th", "nan"}, "option -th expects a finite number, got 'nan'"},
      {{"-tc", "inf"}, "option -tc expects a finite number, got 'inf'"},
      {{"-tv", "-Infinity"}, "option -tv expects a finite number, got '-Infinity'"},
      {{"-th", "1e999"}, "option -th expects a finite number, got '1e999'"},
      {{"-th", "1e-1x"}, "option -th expects a number, got '1e-1x'"},
      {{"-tc", "nonsense"}, "option -tc expects a number, got 'nonsense'"},
  };
  const RunSettings defaults = parse({});
  for (const Case& c : cases) {
    const RunSettings s = parse(c.words);
    EXPECT_EQ(s.optionErrors, (std::vector<std::string>{c.error})) << c.words[1];
    EXPECT_EQ(s.width, defaults.width);
    EXPECT_EQ(s.height, defaults.height);
    EXPECT_EQ(s.frameCount, defaults.frameCount);
    EXPECT_EQ(s.firstFrame, defaults.firstFrame);
    EXPECT_EQ(s.sliceCount, defaults.sliceCount);
    EXPECT_EQ(s.nucleusThreshold, defaults.nucleusThreshold);
    EXPECT_EQ(s.coreThreshold, defaults.coreThreshold);
  }
  // Every bad value is listed.
  EXPECT_EQ(parse({"-w", "x", "-h", "y"}).optionErrors.size(), 2u);
}

TEST(Settings, TrailingOptionKeepsItsValue) {
  EXPECT_EQ(parse({"-o", "first", "-o"}).outputFolder, "first");
  EXPECT_EQ(parse({"-o"}).outputFolder, "");
  EXPECT_EQ(parse({"-c", "9", "-c"}).frameCount, 9);
}

TEST(Settings, OptionNamesMatchWholeWordsCaseSensitively) {
  const RunSettings s = parse({"-W", "5", "-width", "6", "-i2"});
  EXPECT_EQ(s.width, 960);
  EXPECT_FALSE(s.writeResultImages);
  EXPECT_EQ(s.unknownOptions, (std::vector<std::string>{"-W", "-width", "-i2"}));
  // The words after the unknown options are stray words.
  EXPECT_EQ(s.optionWarnings.size(), 2u);
}

TEST(Settings, StrayWordsAndALastOptionWithoutValueAreWarnedAbout) {
  const RunSettings s = parse({"-w", "24", "touch", "X", "-o"});
  EXPECT_EQ(s.width, 24);
  EXPECT_TRUE(s.unknownOptions.empty());
  EXPECT_TRUE(s.optionErrors.empty());
  EXPECT_EQ(s.optionWarnings,
            (std::vector<std::string>{
                "ignoring the word 'touch': it is neither an option nor the value of one",
                "ignoring the word 'X': it is neither an option nor the value of one",
                "option -o is the last word and has no value; it is ignored"}));
  // The program's own name is no stray word; values are not either.
  EXPECT_TRUE(parse({"-p", "a b", "-w", "5"}).optionWarnings.empty());
}

// --scale and --channel: text that is not wholly a number is an option
// error; a clean number below 1 is left for the start-up check.
TEST(Settings, ScaleAndChannelTakeNumbers) {
  for (const char* word : {"", "nan"}) EXPECT_EQ(parse({"--scale", word}).optionErrors.size(), 1u) << word;
  EXPECT_EQ(parse({"--channel", "1.5"}).optionErrors.size(), 1u);
  EXPECT_EQ(parse({"--channel", "-2"}).channel, -2);
}

TEST(Settings, UsableSizes) {
  std::string why;
  EXPECT_TRUE(sizesAreUsable(parse({}), &why));
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
    EXPECT_FALSE(sizesAreUsable(parse({option, "2000000000"}), &why)) << option;
  }
}

TEST(Settings, UnusableUnitsAndPictureOptionsNameTheOption) {
  const struct {
    std::vector<std::string> words;
    const char* named;
  } cases[] = {
      {{"--pixel-size", "0"}, "--pixel-size"},   {{"--pixel-size", "-0.1"}, "--pixel-size"},
      {{"--pixel-size", "abc"}, "--pixel-size"}, {{"--pixel-size", "inf"}, "--pixel-size"},
      {{"--pixel-size", "0.1x"}, "--pixel-size"},
      {{"--interval", "0"}, "--interval"},       {{"--interval", "nan"}, "--interval"},
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
