// Run settings: every parameter of a run, filled once from the command line
// and read-only afterwards; the stages read their thresholds here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace focustrack {

// Frame and slice numbers are at most 10 digits and a sign; more padding
// than this (-fl, -sl) only makes enormous names and is refused.
constexpr int32_t kMaxNameDigits = 18;

struct RunSettings {
  int32_t width = 960;             // "-w": width of every slice and per-pixel buffer
  int32_t height = 720;            // "-h"
  std::string pathPattern;         // "-p": "%0" frame number, "%1" slice number
  std::string outputFolder;        // "-o": tables, result images
  int32_t firstFrame = 1;          // "-fs"
  int32_t frameCount = 5;          // "-c"
  int32_t frameDigits = 4;         // "-fl": minimum digits of the frame number
  int32_t firstSlice = 1;          // "-ss"
  int32_t sliceCount = 16;         // "-sc"
  int32_t sliceDigits = 3;         // "-sl"
  double nucleusThreshold = 0.6;   // "-th": nucleus when nucleusValue >= this
  double coreThreshold = 0.1;      // "-tc": core seed threshold on the delta value
  double riseTolerance = 0.1;      // "-tv": rise allowed in the nucleus outer phase
  int32_t sliceTrimLimit = 4;      // "-b": slices the range search may drop
  bool writeResultImages = false;  // "-i"

  // Long options beyond the classic command line.
  std::string dumpFolder;          // "--dump DIR": intermediate maps as TIFF
  bool writeMasks = false;         // "--masks": label masks per frame
  bool printStageTimes = false;    // "--stage-times": per-stage times on stderr at the end
  int32_t threads = 0;             // "--threads N": 0 = every core the process may use

  // Cells kept out of the tables (off when empty or 0). Such a cell is
  // treated like one that touches the image border: measured and tracked,
  // outlined white, no analysis of its contents, no row, not in the averages.
  std::string excludeMaskPath;     // "--exclude FILE": device mask, non-zero = device
  int32_t minArea = 0;             // "--min-area N": pixels
  int32_t maxArea = 0;             // "--max-area N": pixels
  double minCircularity = 0.0;     // "--min-circularity X"

  // Output choices beyond the classic ones.
  bool writeMaskStack = false;     // "--mask-stack": every frame's labels in one multi-page TIFF
  int32_t imageZoom = 1;           // "--image-zoom N": result image N times larger
  std::string imageFormat = "bmp"; // "--image-format bmp|png"

  // Physical units: the width of an input pixel in microns and the time
  // between frames in minutes; 0 while unknown. Each source says where the
  // value came from: "option", the input's metadata ("OME-TIFF metadata",
  // "ImageJ hyperstack metadata"), or "unknown".
  double pixelSize = 0.0;          // "--pixel-size UM"
  double frameInterval = 0.0;      // "--interval MIN"
  std::string pixelSizeSource = "unknown";
  std::string frameIntervalSource = "unknown";
  bool showHelp = false;           // "--help"
  bool showVersion = false;        // "--version"

  // Input beyond one 8-bit file per slice (1, 1, off: the input as it is).
  double scale = 1.0;              // "--scale F": slices resampled by F before analysis
  int32_t channel = 1;             // "--channel N": the bright-field channel of a stack file
  bool reverseSlices = false;      // "--reverse-slices": slices taken last to first
  // Which sizes the command line gave; the others may come from a stack file.
  bool widthGiven = false;
  bool heightGiven = false;
  bool sliceCountGiven = false;
  bool frameCountGiven = false;

  // Words that look like options but are not; the caller may note them.
  std::vector<std::string> unknownOptions;
  // Values that are not clean numbers: the run refuses to start.
  std::vector<std::string> optionErrors;
  // Stray words and a last option without its value: the run warns.
  std::vector<std::string> optionWarnings;

  // Derived right after parsing (32-bit product; see sizesAreUsable).
  int32_t pixelCount = 960 * 720;
};

// The width of an analysed pixel in microns: the input's divided by the
// scale (enlarging by 2 halves it); 0 while unknown.
inline double analysedPixelSize(const RunSettings& s) {
  return s.pixelSize > 0.0 && s.scale > 0.0 ? s.pixelSize / s.scale : 0.0;
}

}  // namespace focustrack
