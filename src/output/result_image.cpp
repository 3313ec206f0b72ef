#include "output/result_image.h"

#include <cstdio>

#include "frame/predicates.h"
#include "output/grey_stretch.h"
#include "io/atomic_file.h"
#include "io/bmp_header.h"
#include "io/output_paths.h"

namespace focustrack {

namespace {

struct Colour {
  uint8_t red;
  uint8_t green;
  uint8_t blue;
};

constexpr Colour kBorder{255, 0, 0};
constexpr Colour kExcludedBorder{255, 255, 255};
constexpr Colour kNucleusOutline{0, 0, 255};
constexpr Colour kVacuoleOutline{0, 255, 0};
constexpr Colour kTrack{0, 0, 255};

constexpr int32_t kNucleusPoints = 121;    // directions 0..120, the last closes the outline
constexpr int32_t kVacuolePoints = 120;    // directions 0..119
constexpr int32_t kTrackFrames = 4;        // tracks of the frames before the current one
constexpr double kLineStep = 0.001;        // parameter step of a track segment
constexpr int32_t kDigitWidth = 3;
constexpr int32_t kDigitHeight = 5;
constexpr int32_t kDigitAdvance = 4;       // columns from one digit to the next

// 3 x 5 digit font, rows top to bottom, '#' set.
constexpr const char* kFont[10][kDigitHeight] = {
    {"###", "#.#", "#.#", "#.#", "###"},  // 0
    {".#.", ".#.", ".#.", ".#.", ".#."},  // 1
    {"###", "..#", "###", "#..", "###"},  // 2
    {"###", "..#", "###", "..#", "###"},  // 3
    {"#.#", "#.#", "###", "..#", "..#"},  // 4
    {"###", "#..", "###", "..#", "###"},  // 5
    {"#..", "#..", "###", "#.#", "###"},  // 6
    {"###", "..#", "..#", "..#", "..#"},  // 7
    {"###", "#.#", "###", "#.#", "###"},  // 8
    {"###", "#.#", "###", "..#", "..#"},  // 9
};

// Truncation toward zero; a value no pixel coordinate can hold (or
// not-a-number) becomes -1, which lies outside every picture.
int32_t truncateCoordinate(double value) {
  if (!(value > -2147483648.0 && value < 2147483647.0)) return -1;
  return static_cast<int32_t>(value);
}

}  // namespace

bool ResultCanvas::allocate(int32_t width, int32_t height, int32_t zoom) {
  release();
  if (width <= 0 || height <= 0 || zoom < 1) return false;
  const uint64_t pixels = uint64_t(width) * uint64_t(height);
  const uint64_t rowBytes = bmpRowBytes(width);
  const bool obtained = baseImage_.obtain(pixels * 3) && overlayImage_.obtain(pixels * 3) &&
                        overlayAlpha_.obtain(pixels) && fileImage_.obtain(rowBytes * uint64_t(height)) &&
                        zoomRow_.obtain(bmpRowBytes(int64_t{width} * zoom));
  if (!obtained) {
    release();
    return false;
  }
  width_ = width;
  height_ = height;
  rowBytes_ = static_cast<int32_t>(rowBytes);
  return true;
}

void ResultCanvas::release() {
  baseImage_.release();
  overlayImage_.release();
  overlayAlpha_.release();
  fileImage_.release();
  zoomRow_.release();
  width_ = 0;
  height_ = 0;
  rowBytes_ = 0;
}

void ResultCanvas::plotPixel(int32_t x, int32_t y, uint8_t red, uint8_t green, uint8_t blue) {
  if (!inside(x, y)) return;
  const size_t p = size_t(y) * size_t(width_) + size_t(x);
  if (overlayAlpha_[p] > 0) return;
  overlayImage_[3 * p] = blue;
  overlayImage_[3 * p + 1] = green;
  overlayImage_[3 * p + 2] = red;
  overlayAlpha_[p] = 1.0;
}

void ResultCanvas::markEdge(int32_t x, int32_t y, bool left, bool top, bool right, bool bottom,
                            bool excluded) {
  if (!(left || top || right || bottom)) return;
  const Colour c = excluded ? kExcludedBorder : kBorder;
  plotPixel(x, y, c.red, c.green, c.blue);
}

void ResultCanvas::drawLine(int32_t from, int32_t to) {
  if (width_ <= 0) return;
  const double x0 = from % width_;
  const double y0 = from / width_;
  const double x1 = to % width_;
  const double y1 = to / width_;
  // The parameter is accumulated, not multiplied, so its rounding decides
  // which pixels the samples hit (and that t = 1 itself is never reached).
  int32_t lastX = 0;
  int32_t lastY = 0;
  bool first = true;
  for (double t = 0.0; t <= 1.0; t += kLineStep) {
    const int32_t x = truncateCoordinate(x0 * (1.0 - t) + x1 * t);
    const int32_t y = truncateCoordinate(y0 * (1.0 - t) + y1 * t);
    if (first || x != lastX || y != lastY) plotPixel(x, y, kTrack.red, kTrack.green, kTrack.blue);
    first = false;
    lastX = x;
    lastY = y;
  }
}

void ResultCanvas::drawNumber(int32_t x, int32_t y, int32_t value) {
  if (value <= 0) return;
  for (int32_t left = x; value > 0; value /= 10, left -= kDigitAdvance) {
    const char* const* glyph = kFont[value % 10];
    for (int32_t row = 0; row < kDigitHeight; ++row) {
      for (int32_t column = 0; column < kDigitWidth; ++column) {
        if (glyph[row][column] != '#' || !inside(left + column, y + row)) continue;
        const size_t p = size_t(y + row) * size_t(width_) + size_t(left + column);
        overlayImage_[3 * p] = 0;
        overlayImage_[3 * p + 1] = 0;
        overlayImage_[3 * p + 2] = 0;
        overlayAlpha_[p] = 1.0;
      }
    }
  }
}

// The file picture: rows bottom to top, drawn pixels blended over the base.
// The padding bytes of each row stay 0 from allocation.
void ResultCanvas::buildFileImage() {
  for (int32_t i = 0; i < height_; ++i) {
    const size_t sourceRow = size_t(height_ - 1 - i) * size_t(width_);
    const uint8_t* base = baseImage_.data() + 3 * sourceRow;
    const uint8_t* overlay = overlayImage_.data() + 3 * sourceRow;
    const double* alpha = overlayAlpha_.data() + sourceRow;
    uint8_t* out = fileImage_.data() + size_t(i) * size_t(rowBytes_);
    for (int32_t x = 0; x < width_; ++x) {
      const double a = alpha[x];
      for (int32_t channel = 3 * x; channel < 3 * x + 3; ++channel) {
        out[channel] = a > 0 ? static_cast<uint8_t>(base[channel] * (1.0 - a) + overlay[channel] * a)
                             : base[channel];
      }
    }
  }
}

const uint8_t* ResultCanvas::blend() {
  buildFileImage();
  return fileImage_.data();
}

int ResultCanvas::saveBmp(const std::string& path) {
  if (width_ <= 0) return 1;
  const uint64_t imageBytes = uint64_t(rowBytes_) * uint64_t(height_);
  if (imageBytes > 0xFFFFFFFFull - kBmpHeaderBytes) return 1;  // beyond the format's size fields
  buildFileImage();
  uint8_t header[kBmpHeaderBytes];
  fillBmpHeader(header, width_, height_, static_cast<uint32_t>(imageBytes));
  // Written under a temporary name and renamed when complete, so that no
  // truncated picture ever stands under the final name.
  const std::string temporary = temporaryPath(path);
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return 1;
  bool ok = !std::ferror(file);
  ok = ok && std::fwrite(header, 1, sizeof header, file) == sizeof header;
  ok = ok && std::fwrite(fileImage_.data(), 1, imageBytes, file) == imageBytes;
  ok = std::fclose(file) == 0 && ok;
  std::string why;
  if (!ok) {
    discardFile(temporary, path);
    return 1;
  }
  return publishFile(temporary, path, &why) ? 0 : 1;
}

namespace {

void clearOverlay(ResultCanvas& canvas) {
  double* alpha = canvas.overlayAlpha().data();
  const size_t count = canvas.overlayAlpha().size();
  for (size_t p = 0; p < count; ++p) alpha[p] = 0.0;
}

// The reference slice in grey.
void paintBackground(const FrameBuffers& b, ResultCanvas& canvas) {
  const int32_t plane = (b.referenceSlice >= 0 && b.referenceSlice < b.sliceCount) ? b.referenceSlice : 0;
  uint8_t* base = canvas.baseImage().data();
  if (b.sampleBits == 16) {
    const uint16_t* samples = b.sliceStack16.data() + size_t(plane) * size_t(b.pixelCount);
    const GreyStretch stretch = percentileStretch(samples, b.pixelCount, canvas.histogram());
    for (int32_t p = 0; p < b.pixelCount; ++p) {
      const uint8_t grey = stretchedGrey(samples[p], stretch);
      base[3 * size_t(p)] = grey;
      base[3 * size_t(p) + 1] = grey;
      base[3 * size_t(p) + 2] = grey;
    }
    return;
  }
  const uint8_t* grey = b.sliceStack.data() + size_t(plane) * size_t(b.pixelCount);
  for (int32_t p = 0; p < b.pixelCount; ++p) {
    base[3 * size_t(p)] = grey[p];
    base[3 * size_t(p) + 1] = grey[p];
    base[3 * size_t(p) + 2] = grey[p];
  }
}

// Each cell's track id stands just above its first pixel in
// raster order (on row 0 when that pixel is on row 0); excluded cells too.
void drawTrackIds(FrameBuffers& b, ResultCanvas& canvas) {
  for (int32_t c = 1; c < b.nextCellNumber; ++c) b.currentCells[c].idDrawn = 0;
  for (int32_t y = 0; y < b.height; ++y) {
    const int32_t* row = b.cellMap.data() + size_t(y) * size_t(b.width);
    for (int32_t x = 0; x < b.width; ++x) {
      if (row[x] < 1) continue;
      CellRecord& cell = b.currentCells[row[x]];
      if (cell.area <= 0 || cell.idDrawn != 0) continue;
      cell.idDrawn = 1;
      canvas.drawNumber(x, y == 0 ? 0 : y - 1, cell.trackId);
    }
  }
}

// One outline point: radius r in direction k from the centre pixel.
void plotOutlinePoint(const FrameBuffers& b, int32_t centre, double radius, int32_t k, Colour colour,
                      ResultCanvas& canvas) {
  const int32_t cx = centre % b.width;
  const int32_t cy = centre / b.width;
  const AngleEntry& angle = b.angleTable[k];
  const int32_t x = truncateCoordinate(radius * angle.cosK + cx + 0.5);
  const int32_t y = truncateCoordinate(radius * angle.sinK + cy + 0.5);
  canvas.plotPixel(x, y, colour.red, colour.green, colour.blue);
}

// Nuclei that reach the threshold.
void drawNucleusOutlines(const RunSettings& settings, const FrameBuffers& b, ResultCanvas& canvas) {
  for (int32_t c = 1; c < b.nextCellNumber; ++c) {
    const CellRecord& cell = b.currentCells[c];
    if (!showsNucleus(settings, cell)) continue;
    for (int32_t k = 0; k < kNucleusPoints; ++k) {
      plotOutlinePoint(b, cell.nucleusCentre, cell.nucleusRadius[k], k, kNucleusOutline, canvas);
    }
  }
}

// The blobs the tables count as vacuoles.
void drawVacuoleOutlines(const FrameBuffers& b, ResultCanvas& canvas) {
  for (int32_t blob = 1; blob <= b.blobCount; ++blob) {
    const BlobRecord& record = b.blobTable[blob];
    if (!isVacuole(record)) continue;
    const double* radius = b.vacuoleOutlines[blob].radius;
    for (int32_t k = 0; k < kVacuolePoints; ++k) {
      plotOutlinePoint(b, record.vacuoleCentre, radius[k], k, kVacuoleOutline, canvas);
    }
  }
}

// A cell pixel is a border pixel when a 4-neighbour inside the
// picture belongs elsewhere; the picture edge itself draws no border.
void drawCellBorders(const FrameBuffers& b, ResultCanvas& canvas) {
  const int32_t w = b.width;
  for (int32_t y = 0; y < b.height; ++y) {
    const int32_t* row = b.cellMap.data() + size_t(y) * size_t(w);
    for (int32_t x = 0; x < w; ++x) {
      const int32_t c = row[x];
      if (c < 1) continue;
      const bool left = x > 0 && row[x - 1] != c;
      const bool top = y > 0 && row[x - w] != c;
      const bool right = x < w - 1 && row[x + 1] != c;
      const bool bottom = y < b.height - 1 && row[x + w] != c;
      canvas.markEdge(x, y, left, top, right, bottom, b.currentCells[c].excluded != 0);
    }
  }
}

// Links of the current frame and the four before it, between the box
// centres the tables wrote into the records.
void drawTracks(const FrameBuffers& b, ResultCanvas& canvas) {
  const int32_t oldest = b.frameOrdinal - kTrackFrames;
  for (const LinkRecord& link : b.linkRecords) {
    if (link.frameOrdinal >= oldest) canvas.drawLine(link.previousCell, link.currentCell);
  }
}

}  // namespace

void drawResultImage(const RunSettings& settings, FrameBuffers& b, ResultCanvas& canvas) {
  if (b.width <= 0 || canvas.width() != b.width || canvas.height() != b.height) return;
  clearOverlay(canvas);
  paintBackground(b, canvas);
  drawTrackIds(b, canvas);
  drawNucleusOutlines(settings, b, canvas);
  drawVacuoleOutlines(b, canvas);
  drawCellBorders(b, canvas);
  drawTracks(b, canvas);
}

std::string resultImagePath(const RunSettings& settings, int32_t frameOrdinal) {
  return frameFilePath(settings.outputFolder, "result", frameOrdinal,
                       settings.imageFormat == "png" ? "png" : "bmp");
}

}  // namespace focustrack
