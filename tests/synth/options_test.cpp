#include "synth/options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace focustrack {

namespace {

struct Parsed {
  SynthCommand command;
  SynthOptions options;
  std::string error;
};

Parsed parse(std::vector<std::string> words) {
  words.insert(words.begin(), "focustrack-synth");
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  Parsed p;
  p.command = parseSynthCommandLine(static_cast<int>(argv.size()), argv.data(), &p.options, &p.error);
  return p;
}

const char* const kFormatNames[] = {"slices", "frame-tiff", "imagej", "ome"};  // in SynthFormat's order

// Every option and derived value on one line; 17 digits keep the noise exact.
std::string summary(const SynthOptions& o) {
  std::ostringstream s;
  s.precision(17);
  s << o.width << " x " << o.height << ", sc " << o.sliceCount << ", c " << o.frameCount << ", p " << o.pathPattern
    << ", fs " << o.firstFrame << ", fl " << o.frameDigits << ", ss " << o.firstSlice << ", sl " << o.sliceDigits
    << ", cells " << effectiveCellCount(o) << ", seed " << o.seed << ", noise " << o.noise << ", truth "
    << effectiveTruthFolder(o) << " " << truthImagePath(o, 3) << " " << truthTablePath(o) << ", format "
    << kFormatNames[static_cast<int>(o.format)] << ", bits " << o.bits << ", channel " << o.brightChannel << " of " << o.channels;
  return s.str();
}

}  // namespace

TEST(SynthOptions, DefaultsEveryOptionAndTruthPaths) {
  struct Case {
    std::vector<std::string> words;
    const char* expected;
  };
  const Case cases[] = {
      {{"-w", "320", "-h", "240", "-sc", "7", "-c", "3", "-p", "x_%0_%1.tif", "-fs", "0", "-fl", "2", "-ss", "5",
        "-sl", "1", "--cells", "4", "--seed", "18446744073709551615", "--noise", "0.5", "--truth", "gt"},
       "320 x 240, sc 7, c 3, p x_%0_%1.tif, fs 0, fl 2, ss 5, sl 1, cells 4, seed 18446744073709551615, "
       "noise 0.5, truth gt gt/truth_03.tif gt/truth.csv, format slices, bits 8, channel 1 of 1"},
      // The defaults (76 cells: 960 x 720 / 9000). The word after an option
      // is its value, even when it looks like an option; the truth lies
      // beside slices in the current folder.
      {{"-p", "-w"},
       "960 x 720, sc 16, c 5, p -w, fs 1, fl 4, ss 1, sl 3, cells 76, seed 1, noise 2, "
       "truth  truth_0003.tif truth.csv, format slices, bits 8, channel 1 of 1"},
      // Stack formats, depth and channels; the truth lies beside the stack.
      {{"-p", "run/rec.ome.tif", "--format", "ome", "--bits", "16", "--channels", "3", "--channel", "2"},
       "960 x 720, sc 16, c 5, p run/rec.ome.tif, fs 1, fl 4, ss 1, sl 3, cells 76, seed 1, noise 2, "
       "truth run run/truth_0003.tif run/truth.csv, format ome, bits 16, channel 2 of 3"},
  };
  for (const Case& c : cases) {
    const Parsed p = parse(c.words);
    ASSERT_EQ(p.command, SynthCommand::Generate) << p.error;
    EXPECT_EQ(summary(p.options), c.expected);
  }
}

TEST(SynthOptions, BadWordsAreRejected) {
  struct Case {
    std::vector<std::string> words;
    const char* mentions;
  };
  const Case cases[] = {
      {{"-p", "a%0%1", "-x", "1"}, "unknown option '-x'"},
      {{"-p", "a%0%1", "stray"}, "unexpected word 'stray'"},
      {{"-p", "a%0%1", "-w"}, "option -w needs a value"},
      {{"-p", "a%0%1", "-w", "12px"}, "option -w: '12px'"},
      {{"-p", "a%0%1", "-w", "0"}, "from 1 to 65535"},
      {{"-p", "a%0%1", "--cells", "5001"}, "option --cells"},
      {{"-p", "a%0%1", "--seed", "18446744073709551616"}, "option --seed"},
      {{"-p", "a%0%1", "--noise", "nan"}, "option --noise"},
      {{"-p", ""}, "option -p: the value is empty"},
      {{"-w", "100"}, "pattern is missing"},
      {{"-p", "a%0%1", "-w", "65535", "-h", "65535"}, "too large"},
      {{"-p", "a%0%1", "-fs", "2147483647", "-c", "2"}, "run past"},
      {{"-p", "a%0%1", "--format", "tiff"}, "'tiff' is not one of slices, frame-tiff, imagej, ome"},
      {{"-p", "a%0%1", "--bits", "12"}, "option --bits: 12 is not 8 or 16"},
      {{"-p", "a%0%1", "--channels", "2"}, "several channels need a stack format"},
      {{"-p", "a.tif", "--format", "ome", "--channels", "2", "--channel", "3"}, "--channel: 3 is beyond the 2"},
      {{"-p", "a%0%1", "--format", "frame-tiff"}, "frame-tiff needs a pattern with %0 and without %1"},
      {{"-p", "a%0.tif", "--format", "imagej"}, "a pattern without %0 and %1"},
  };
  for (const Case& c : cases) {
    const Parsed p = parse(c.words);
    EXPECT_EQ(p.command, SynthCommand::Invalid) << c.mentions;
    EXPECT_NE(p.error.find(c.mentions), std::string::npos) << "got: " << p.error;
  }
}

}  // namespace focustrack
