#include "output/result_picture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "io/atomic_file.h"
#include "io/bmp_header.h"
#include "io/png_writer.h"

namespace focustrack {

void zoomedRow(const ResultCanvas& canvas, const uint8_t* fileRows, int32_t y, int32_t zoom, uint8_t* out) {
  // The file picture stores the bottom row first.
  const uint8_t* source =
      fileRows + size_t(canvas.height() - 1 - y) * size_t(canvas.fileRowBytes());
  for (int32_t x = 0; x < canvas.width(); ++x) {
    const uint8_t* pixel = source + 3 * size_t(x);
    uint8_t* block = out + 3 * size_t(x) * size_t(zoom);
    for (int32_t k = 0; k < zoom; ++k) std::memcpy(block + 3 * size_t(k), pixel, 3);
  }
}

namespace {

// Pictures are written under a temporary name and renamed when complete.

// Every row of the picture `zoom` times, each row `zoom` times wider; rows
// bottom to top as the format stores them.
bool saveZoomedBmp(ResultCanvas& canvas, const std::string& path, int32_t zoom, std::string* reason) {
  const int64_t width = int64_t{canvas.width()} * zoom;
  const int64_t height = int64_t{canvas.height()} * zoom;
  const uint64_t rowBytes = bmpRowBytes(width);
  const uint64_t imageBytes = rowBytes * uint64_t(height);
  if (width <= 0 || imageBytes > 0xFFFFFFFFull - kBmpHeaderBytes ||
      canvas.zoomRow().size() < rowBytes) {
    *reason = "picture too large for a BMP file";
    return false;
  }
  const uint8_t* fileRows = canvas.blend();
  uint8_t* row = canvas.zoomRow().data();  // padding bytes stay 0 from allocation
  uint8_t header[kBmpHeaderBytes];
  fillBmpHeader(header, static_cast<int32_t>(width), static_cast<int32_t>(height),
                static_cast<uint32_t>(imageBytes));
  const std::string temporary = temporaryPath(path);
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    *reason = std::string("cannot create file: ") + std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;
  for (int32_t y = canvas.height() - 1; y >= 0 && ok; --y) {
    zoomedRow(canvas, fileRows, y, zoom, row);
    for (int32_t k = 0; k < zoom && ok; ++k) ok = std::fwrite(row, 1, rowBytes, file) == rowBytes;
  }
  ok = std::fclose(file) == 0 && ok;
  if (!ok) {
    *reason = "write failed (disk full?)";
    discardFile(temporary, path);
    return false;
  }
  return publishFile(temporary, path, reason);
}

bool savePng(ResultCanvas& canvas, const std::string& path, int32_t zoom, std::string* reason) {
  const int64_t width = int64_t{canvas.width()} * zoom;
  if (canvas.zoomRow().size() < uint64_t(width) * 3) {
    *reason = "picture too large";
    return false;
  }
  const uint8_t* fileRows = canvas.blend();
  uint8_t* row = canvas.zoomRow().data();
  // Rows come top to bottom: each zoomed row serves `zoom` rows of the file.
  const PngRowSource source = [&](int32_t y) -> const uint8_t* {
    if (y % zoom == 0) zoomedRow(canvas, fileRows, y / zoom, zoom, row);
    return row;
  };
  const std::string temporary = temporaryPath(path);
  if (!writeRgbPng(temporary, static_cast<int32_t>(width), canvas.height() * zoom, source, reason)) {
    discardFile(temporary, path);
    return false;
  }
  return publishFile(temporary, path, reason);
}

}  // namespace

bool saveResultPicture(ResultCanvas& canvas, const RunSettings& settings, const std::string& path,
                       std::string* reason) {
  if (canvas.width() <= 0) {
    *reason = "no picture";
    return false;
  }
  if (settings.imageFormat == "png") return savePng(canvas, path, settings.imageZoom, reason);
  if (settings.imageZoom > 1) return saveZoomedBmp(canvas, path, settings.imageZoom, reason);
  if (canvas.saveBmp(path) == 0) return true;
  *reason = "cannot create or write the file";
  return false;
}

}  // namespace focustrack
