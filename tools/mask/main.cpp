// focustrack-mask: proposes a device mask for a trap recording from the label
// masks of a run (focustrack ... --masks over a few frames). Objects that stay
// in place and keep their size are taken for the device. The mask is written
// as an 8-bit TIFF (255 device, 0 elsewhere) to check and edit before a run
// with --exclude. Exit status: 0 written, 1 a file could not be read or
// written, 2 bad command line.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "io/output_paths.h"
#include "io/tiff_writer.h"
#include "mask/propose.h"

namespace {

const char* kUsage =
    "Usage: focustrack-mask RUN_DIR [options]\n"
    "Proposes a device mask from the label masks RUN_DIR/masks_NNNN.tif of a run\n"
    "made with --masks: objects that stay in place and keep their size.\n"
    "\n"
    "  -o FILE         the mask to write                  (RUN_DIR/device_mask.tif)\n"
    "  --frames N      first frames to compare, at least 2 (2)\n"
    "  --grow N        pixels the proposed objects are widened by (4)\n"
    "  --overlap X     least overlap / union with the next frames' object (0.97)\n"
    "  --size-change X largest relative area change        (0.015)\n"
    "  --list          print every object of the first frame with its measures\n";

bool wholeNumber(const char* text, int lowest, int* value) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < lowest || v > 10000) return false;
  *value = static_cast<int>(v);
  return true;
}

bool fraction(const char* text, double* value) {
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(v >= 0.0 && v <= 1.0)) return false;
  *value = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace focustrack;
  std::string folder, output;
  int frames = 2;
  bool list = false;
  ProposalRules rules;
  for (int w = 1; w < argc; ++w) {
    const std::string word = argv[w];
    const char* value = w + 1 < argc ? argv[w + 1] : nullptr;
    bool ok = true;
    if (word == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (word == "--list") {
      list = true;
      continue;
    } else if (word == "-o" && value) {
      output = value;
    } else if (word == "--frames" && value) {
      ok = wholeNumber(value, 2, &frames);
    } else if (word == "--grow" && value) {
      ok = wholeNumber(value, 0, &rules.grow);
    } else if (word == "--overlap" && value) {
      ok = fraction(value, &rules.sameObject);
    } else if (word == "--size-change" && value) {
      ok = fraction(value, &rules.sizeChange);
    } else if (word[0] != '-' && folder.empty()) {
      folder = word;
      continue;
    } else {
      ok = false;
      value = nullptr;
    }
    if (!ok) {
      std::fprintf(stderr, "focustrack-mask: bad word or value at '%s' (see --help)\n", word.c_str());
      return 2;
    }
    ++w;
  }
  if (folder.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (output.empty()) output = outputPath(folder, "device_mask.tif");
  std::vector<LabelMap> images(static_cast<size_t>(frames));
  for (int f = 0; f < frames; ++f) {
    std::string why;
    if (!readLabelMap(frameFilePath(folder, "masks", f + 1, "tif"), &images[f], &why)) {
      std::fprintf(stderr, "focustrack-mask: %s (run focustrack with --masks over %d frames first)\n",
                   why.c_str(), frames);
      return 1;
    }
    if (images[f].width != images[0].width || images[f].height != images[0].height) {
      std::fprintf(stderr, "focustrack-mask: the label masks differ in size\n");
      return 1;
    }
  }
  std::string report;
  const std::vector<uint8_t> mask = proposeDeviceMask(images, rules, list ? &report : nullptr);
  std::fputs(report.c_str(), stdout);
  size_t marked = 0;
  for (uint8_t v : mask) marked += v != 0;
  std::string why;
  if (!writeTiff(output, images[0].width, images[0].height, TiffSample::UInt8, mask.data(), &why)) {
    std::fprintf(stderr, "focustrack-mask: cannot write '%s': %s\n", output.c_str(), why.c_str());
    return 1;
  }
  std::printf("device mask '%s': %zu of %zu pixels marked; check it, then run with --exclude %s\n",
              output.c_str(), marked, mask.size(), output.c_str());
  return 0;
}
