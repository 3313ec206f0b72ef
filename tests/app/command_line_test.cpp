#include "app/command_line.h"
#include "output/tables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace focustrack {

namespace {

RunSettings parse(std::vector<std::string> words) {
  words.insert(words.begin(), "focustrack");
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  return parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

TEST(Settings, HelpStatesTheDefaultsAParseWithoutOptionsGives) {
  // The help text is what users read the defaults from: it must say what the
  // program does when an option is left out.
  const RunSettings s = parse({});
  const std::string usage = usageText();
  const auto line = [&usage](const std::string& option) {
    const size_t at = usage.find("\n  " + option + " ");
    return at == std::string::npos ? std::string() : usage.substr(at, usage.find('\n', at + 1) - at);
  };
  const auto shows = [&line](const std::string& option, const std::string& value) {
    const std::string text = line(option);
    return text.size() > value.size() + 2 &&
           text.compare(text.size() - value.size() - 2, value.size() + 2, "(" + value + ")") == 0;
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
}

TEST(Settings, EveryOptionTakesTheNextWord) {
  const RunSettings s = parse({"-w", "234", "-h", "162", "-p", "a/t%0_z%1.tif", "-o", "out", "-fs", "0",
                               "-c", "7", "-fl", "5", "-ss", "2", "-sc", "9", "-sl", "2", "-th", "0.75",
                               "-tc", "0.25", "-tv", "0.05", "-b", "3", "-i"});
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
  EXPECT_TRUE(s.writeResultImages);
  EXPECT_EQ(s.pixelCount, 234 * 162);
}

TEST(Settings, PendingOptionTakesAWordThatLooksLikeAnOption) {
  // "-w -h": the width is converted from "-h" and "-h" does not become pending.
  const RunSettings s = parse({"-w", "-h", "300"});
  EXPECT_EQ(s.width, 0);
  EXPECT_EQ(s.height, 720);
  // "-i" as a value is no switch.
  const RunSettings t = parse({"-w", "-i"});
  EXPECT_EQ(t.width, 0);
  EXPECT_FALSE(t.writeResultImages);
  // A value that starts with "-" is a value.
  EXPECT_EQ(parse({"-fs", "-3"}).firstFrame, -3);
  EXPECT_EQ(parse({"-o", "-i"}).outputFolder, "-i");
}

TEST(Settings, AtoiAndAtofRules) {
  EXPECT_EQ(parse({"-w", "  42abc"}).width, 42);
  EXPECT_EQ(parse({"-w", "abc"}).width, 0);
  EXPECT_EQ(parse({"-w", "+17"}).width, 17);
  EXPECT_EQ(parse({"-c", "3.9"}).frameCount, 3);
  EXPECT_DOUBLE_EQ(parse({"-th", "1e-1x"}).nucleusThreshold, 0.1);
  EXPECT_DOUBLE_EQ(parse({"-tc", "nonsense"}).coreThreshold, 0.0);
}

TEST(Settings, LastOccurrenceWinsAndTrailingOptionKeepsItsValue) {
  EXPECT_EQ(parse({"-w", "10", "-w", "20"}).width, 20);
  EXPECT_EQ(parse({"-o", "first", "-o"}).outputFolder, "first");
  EXPECT_EQ(parse({"-o"}).outputFolder, "");
  EXPECT_EQ(parse({"-c", "9", "-c"}).frameCount, 9);
}

TEST(Settings, OptionNamesMatchWholeWordsCaseSensitively) {
  const RunSettings s = parse({"-W", "5", "-width", "6", "-i2"});
  EXPECT_EQ(s.width, 960);
  EXPECT_FALSE(s.writeResultImages);
  EXPECT_EQ(s.unknownOptions, (std::vector<std::string>{"-W", "-width", "-i2"}));
  // Words without a leading minus are skipped silently.
  EXPECT_TRUE(parse({"stray", "5"}).unknownOptions.empty());
}

TEST(Settings, LongOptions) {
  const RunSettings s = parse({"--dump", "maps", "--masks"});
  EXPECT_EQ(s.dumpFolder, "maps");
  EXPECT_TRUE(s.writeMasks);
  EXPECT_TRUE(parse({"--help"}).showHelp);
  EXPECT_TRUE(parse({"--version"}).showVersion);
  // As the value of a pending option they are values.
  const RunSettings v = parse({"-p", "--help"});
  EXPECT_FALSE(v.showHelp);
  EXPECT_EQ(v.pathPattern, "--help");
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
}

TEST(Settings, UsageListsEveryOption) {
  const std::string usage = usageText();
  for (const char* option : {"-w ", "-h ", "-p ", "-o ", "-fs ", "-c ", "-fl ", "-ss ", "-sc ", "-sl ",
                             "-th ", "-tc ", "-tv ", "-b ", "-i ", "--dump ", "--masks ", "--help ",
                             "--version "}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

}  // namespace

}  // namespace focustrack
