// Small image files for tests, written with the same libraries the program
// reads them with (BMP bytes are built by hand), in a temporary folder that
// is removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace focustrack {

namespace test_images {

// ---- TIFF ----

struct TiffLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t bits = 8;
  uint16_t samples = 1;
  uint16_t photometric = PHOTOMETRIC_MINISBLACK;
  uint16_t compression = COMPRESSION_NONE;
  uint32_t rowsPerStrip = 0;       // 0: libtiff's default
  uint32_t tileSide = 0;           // non-zero: square tiles of this side instead of strips
  std::vector<uint16_t> colormap{};  // red, green, blue curves of 2^bits entries each
  std::string description{};       // ImageDescription, when not empty
};

inline void setTiffFields(TIFF* tif, const TiffLayout& layout) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, layout.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, layout.height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, layout.bits);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, layout.samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, layout.photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, layout.compression);
  if (!layout.colormap.empty()) {
    uint16_t* map = const_cast<uint16_t*>(layout.colormap.data());
    const size_t n = layout.colormap.size() / 3;
    TIFFSetField(tif, TIFFTAG_COLORMAP, map, map + n, map + 2 * n);
  }
  if (!layout.description.empty()) TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, layout.description.c_str());
  if (layout.tileSide != 0) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, layout.tileSide);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, layout.tileSide);
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP,
                 layout.rowsPerStrip != 0 ? layout.rowsPerStrip : TIFFDefaultStripSize(tif, 0));
  }
}

// Appends one page to an open file: rows through the strip writer, or
// zero-padded square tiles.
inline bool writeTiffPage(TIFF* tif, const TiffLayout& layout, const std::vector<uint8_t>& samples) {
  setTiffFields(tif, layout);
  const size_t rowBytes = static_cast<size_t>(layout.width) * layout.samples * layout.bits / 8;
  const uint32_t side = layout.tileSide;
  for (uint32_t y0 = 0; side == 0 && y0 < layout.height; ++y0) {
    if (TIFFWriteScanline(tif, const_cast<uint8_t*>(&samples[y0 * rowBytes]), y0, 0) < 0) return false;
  }
  for (uint32_t y0 = 0; side != 0 && y0 < layout.height; y0 += side) {
    for (uint32_t x0 = 0; x0 < layout.width; x0 += side) {
      const size_t sampleBytes = layout.bits / 8;
      std::vector<uint8_t> tile(static_cast<size_t>(side) * side * sampleBytes, 0);
      const size_t rowPart = (std::min(x0 + side, layout.width) - x0) * sampleBytes;
      for (uint32_t y = y0; y < std::min(y0 + side, layout.height); ++y) {
        std::copy_n(&samples[y * rowBytes + x0 * sampleBytes], rowPart, &tile[(y - y0) * side * sampleBytes]);
      }
      if (TIFFWriteTile(tif, tile.data(), x0, y0, 0, 0) < 0) return false;
    }
  }
  return TIFFWriteDirectory(tif) == 1;
}

// 16-bit samples as the bytes a TIFF writer takes: machine order.
inline std::vector<uint8_t> nativeBytes(const std::vector<uint16_t>& samples) {
  std::vector<uint8_t> bytes(samples.size() * 2);
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

// 16-bit samples as PNG stores them: most significant byte first.
inline std::vector<uint8_t> bigEndianBytes(const std::vector<uint16_t>& samples) {
  std::vector<uint8_t> bytes;
  for (uint16_t v : samples) bytes.insert(bytes.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
  return bytes;
}

// Pages appended one by one to a new file; `mode` "w" little-endian classic,
// "wb" big-endian, "w8" BigTIFF.
inline bool writeTiffPages(const std::string& path, const std::vector<TiffLayout>& layouts,
                           const std::vector<std::vector<uint8_t>>& pages, const char* mode = "w") {
  TIFF* tif = TIFFOpen(path.c_str(), mode);
  if (tif == nullptr) return false;
  bool ok = true;
  for (size_t k = 0; k < pages.size() && ok; ++k) {
    ok = writeTiffPage(tif, layouts[std::min(k, layouts.size() - 1)], pages[k]);
  }
  TIFFClose(tif);
  return ok;
}

inline bool writeTiff(const std::string& path, const TiffLayout& layout,
                      const std::vector<uint8_t>& samples, const char* mode = "w") {
  return writeTiffPages(path, {layout}, {samples}, mode);
}

inline void appendLe(std::vector<uint8_t>* bytes, uint32_t value, int count) {
  for (int i = 0; i < count; ++i) bytes->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A classic little-endian TIFF of 8-bit pages laid out as some acquisition
// programs write them: each page's directory first, then its pixels. Cut
// short, such a file keeps the directory of a page whose pixels are gone.
inline std::vector<uint8_t> directoryFirstTiff(uint32_t width, uint32_t height,
                                               const std::vector<std::vector<uint8_t>>& pages,
                                               const std::string& description) {
  std::vector<uint8_t> bytes = {'I', 'I', 42, 0};
  appendLe(&bytes, 8, 4);
  for (size_t k = 0; k < pages.size(); ++k) {
    const bool described = k == 0 && !description.empty();
    const uint16_t entries = described ? 9 : 8;
    const uint32_t text = static_cast<uint32_t>(bytes.size()) + 2 + 12 * entries + 4;  // right after the directory
    const uint32_t pixels = text + (described ? static_cast<uint32_t>(description.size()) + 1 : 0);
    const uint32_t next = k + 1 < pages.size() ? pixels + width * height : 0;
    appendLe(&bytes, entries, 2);
    const auto entry = [&bytes](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
      appendLe(&bytes, tag, 2);
      appendLe(&bytes, type, 2);
      appendLe(&bytes, count, 4);
      appendLe(&bytes, value, 4);
    };
    entry(256, 4, 1, width);
    entry(257, 4, 1, height);
    entry(258, 3, 1, 8);
    entry(259, 3, 1, 1);
    entry(262, 3, 1, 1);
    if (described) entry(270, 2, static_cast<uint32_t>(description.size()) + 1, text);
    entry(273, 4, 1, pixels);
    entry(278, 4, 1, height);
    entry(279, 4, 1, width * height);
    appendLe(&bytes, next, 4);
    if (described) {
      bytes.insert(bytes.end(), description.begin(), description.end());
      bytes.push_back(0);
    }
    bytes.insert(bytes.end(), pages[k].begin(), pages[k].end());
  }
  return bytes;
}

// ---- PNG ----

struct PngSpec {
  uint32_t width = 0;
  uint32_t height = 0;
  int bitDepth = 8;
  int colourType = PNG_COLOR_TYPE_GRAY;
  bool interlaced = false;
  std::vector<png_color> palette{};
};

// `samples` holds the stored rows, top first, as many bytes each as the
// layout's row needs.
inline bool writePng(const std::string& path, const PngSpec& layout,
                     const std::vector<uint8_t>& samples) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows(layout.height);
  bool ok = false;
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_set_IHDR(png, info, layout.width, layout.height, layout.bitDepth, layout.colourType,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!layout.palette.empty()) png_set_PLTE(png, info, layout.palette.data(), int(layout.palette.size()));
    const size_t rowBytes = png_get_rowbytes(png, info);
    for (uint32_t y = 0; y < layout.height; ++y) rows[y] = const_cast<png_bytep>(&samples[y * rowBytes]);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    ok = true;
  }
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
  return ok;
}

// ---- JPEG ----

// Writes `components` interleaved 8-bit channels (1 grey, 3 RGB) at `quality`.
inline bool writeJpeg(const std::string& path, uint32_t width, uint32_t height, int components,
                      int quality, const std::vector<uint8_t>& samples) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = width;
  info.image_height = height;
  info.input_components = components;
  info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < height) {
    JSAMPROW row = const_cast<JSAMPROW>(&samples[size_t{info.next_scanline} * width * components]);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return std::fclose(file) == 0;
}

// ---- BMP ----

struct BmpSpec {
  int32_t width = 0;
  int32_t height = 0;  // negative: rows stored top row first
  uint16_t bits = 8;
  uint32_t headerBytes = 40;  // 40 (info header) or 12 (core header)
  uint32_t compression = 0;
  std::vector<uint8_t> palette{};  // blue, green, red (and a zero byte for 40-byte headers)
};

inline void putLe(std::vector<uint8_t>* bytes, size_t at, uint32_t value, int count) {
  for (int i = 0; i < count; ++i) (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// `rows` holds the packed pixel rows top first, width * bits / 8 bytes each;
// they are stored bottom-up for a positive height, padded to four bytes.
inline std::vector<uint8_t> bmpBytes(const BmpSpec& layout, const std::vector<uint8_t>& rows) {
  const int32_t rowCount = layout.height < 0 ? -layout.height : layout.height;
  const size_t rowBytes = static_cast<size_t>(layout.width) * layout.bits / 8;
  const size_t stride = (rowBytes + 3) / 4 * 4;
  const size_t pixelOffset = 14 + layout.headerBytes + layout.palette.size();
  std::vector<uint8_t> bytes(pixelOffset + stride * rowCount, 0);
  bytes[0] = 'B';
  bytes[1] = 'M';
  putLe(&bytes, 2, static_cast<uint32_t>(bytes.size()), 4);
  putLe(&bytes, 10, static_cast<uint32_t>(pixelOffset), 4);
  putLe(&bytes, 14, layout.headerBytes, 4);
  const bool core = layout.headerBytes == 12;  // 16-bit sizes, no fields after the bit count
  const int sizeBytes = core ? 2 : 4;
  putLe(&bytes, 18, static_cast<uint32_t>(layout.width), sizeBytes);
  putLe(&bytes, 18 + sizeBytes, static_cast<uint32_t>(layout.height), sizeBytes);
  putLe(&bytes, 18 + 2 * sizeBytes, 1, 2);
  putLe(&bytes, 20 + 2 * sizeBytes, layout.bits, 2);
  if (!core) {
    putLe(&bytes, 30, layout.compression, 4);
    putLe(&bytes, 34, static_cast<uint32_t>(stride * rowCount), 4);
    putLe(&bytes, 46, static_cast<uint32_t>(layout.palette.size() / 4), 4);
  }
  std::copy(layout.palette.begin(), layout.palette.end(), bytes.begin() + 14 + layout.headerBytes);
  for (int32_t y = 0; y < rowCount; ++y) {
    const int32_t stored = layout.height < 0 ? y : rowCount - 1 - y;
    std::copy(rows.begin() + y * rowBytes, rows.begin() + (y + 1) * rowBytes,
              bytes.begin() + pixelOffset + stored * stride);
  }
  return bytes;
}

}  // namespace test_images

}  // namespace focustrack
