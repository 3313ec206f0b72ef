#include "app/command_line.h"
#include "output/tables.h"

#include <gtest/gtest.h>

#include <cmath>
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

TEST(Settings, InputOptionsAndWhichSizesWereGiven) {
  const RunSettings plain = parse({"-p", "rec.tif"});
  EXPECT_EQ(plain.scale, 1.0);
  EXPECT_EQ(plain.channel, 1);
  EXPECT_FALSE(plain.reverseSlices);
  EXPECT_FALSE(plain.widthGiven || plain.heightGiven || plain.sliceCountGiven || plain.frameCountGiven);
  const RunSettings s = parse({"--scale", "2.5", "--channel", "3", "--reverse-slices", "-w", "10", "-h", "20",
                               "-sc", "5", "-c", "2"});
  EXPECT_EQ(s.scale, 2.5);
  EXPECT_EQ(s.channel, 3);
  EXPECT_TRUE(s.reverseSlices);
  EXPECT_TRUE(s.widthGiven && s.heightGiven && s.sliceCountGiven && s.frameCountGiven);
  // Text that is not wholly a number is kept as an unusable value for the
  // start-up check to name: not-a-number, channel 0.
  EXPECT_TRUE(std::isnan(parse({"--scale", "2x"}).scale));
  EXPECT_TRUE(std::isnan(parse({"--scale", ""}).scale));
  EXPECT_EQ(parse({"--channel", "1.5"}).channel, 0);
  EXPECT_EQ(parse({"--channel", "-2"}).channel, 0);
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

TEST(Settings, UnitsAndPictureOptions) {
  const RunSettings defaults = parse({});
  EXPECT_EQ(defaults.pixelSize, 0.0);
  EXPECT_EQ(defaults.pixelSizeSource, "unknown");
  EXPECT_EQ(defaults.frameInterval, 0.0);
  EXPECT_EQ(defaults.frameIntervalSource, "unknown");
  EXPECT_EQ(defaults.imageZoom, 1);
  EXPECT_EQ(defaults.imageFormat, "bmp");
  EXPECT_FALSE(defaults.writeMaskStack);
  const RunSettings s = parse({"--pixel-size", "0.065", "--interval", "7.5", "--image-zoom", "3",
                               "--image-format", "png", "--mask-stack"});
  EXPECT_EQ(s.pixelSize, 0.065);
  EXPECT_EQ(s.pixelSizeSource, "option");
  EXPECT_EQ(s.frameInterval, 7.5);
  EXPECT_EQ(s.frameIntervalSource, "option");
  EXPECT_EQ(s.imageZoom, 3);
  EXPECT_EQ(s.imageFormat, "png");
  EXPECT_TRUE(s.writeMaskStack);
  std::string why;
  EXPECT_TRUE(outputChoicesAreUsable(defaults, &why)) << why;
  EXPECT_TRUE(outputChoicesAreUsable(s, &why)) << why;
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

TEST(Settings, UsageListsEveryOption) {
  const std::string usage = usageText();
  for (const char* option : {"-w ", "-h ", "-p ", "-o ", "-fs ", "-c ", "-fl ", "-ss ", "-sc ", "-sl ",
                             "-th ", "-tc ", "-tv ", "-b ", "-i ", "--dump ", "--masks ", "--help ",
                             "--version ", "--scale ", "--channel ", "--reverse-slices ", "--mask-stack ",
                             "--image-zoom ", "--image-format ", "--pixel-size ", "--interval "}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

}  // namespace

}  // namespace focustrack
