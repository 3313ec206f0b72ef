#include "io/tiff_reading.h"

#include <cstdarg>
#include <cstring>

#include "io/tiff_writer.h"

namespace focustrack {

namespace {

// Largest TIFF tile decoded; real tiles are far smaller, so a bigger one is a
// corrupt header rather than an image.
constexpr tmsize_t kMaxTileBytes = tmsize_t{64} << 20;
// Longest library message kept as a reason.
constexpr size_t kMessageBytes = 512;

struct TiffLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t bits = 0;
  uint16_t samples = 0;
  uint16_t sampleFormat = 0;
  uint16_t photometric = 0;
};

struct TiffOptionsFree {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

// Keeps the first error text of the file being read; returning 1 stops the
// message from reaching the process-wide handler, which prints.
int keepFirstTiffError(TIFF*, void* firstError, const char*, const char* format, va_list args) {
  auto* text = static_cast<std::string*>(firstError);
  if (text->empty()) {
    char message[kMessageBytes];
    std::vsnprintf(message, sizeof message, format, args);
    *text = message;
  }
  return 1;
}

int ignoreTiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

bool failTiff(const std::string& libraryError, const char* fallback, const Request& request) {
  return fail(request, std::string("TIFF decoding failed: ") +
                           (libraryError.empty() ? fallback : libraryError.c_str()));
}

TiffLayout readTiffLayout(TIFF* tif) {
  TiffLayout layout;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &layout.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &layout.height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &layout.bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &layout.samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &layout.sampleFormat);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &layout.photometric)) {
    layout.photometric = PHOTOMETRIC_MINISBLACK;
  }
  return layout;
}

std::string describeTiff(const TiffLayout& layout) {
  std::string text = std::to_string(layout.bits) + "-bit ";
  if (layout.sampleFormat == SAMPLEFORMAT_INT) text += "signed ";
  if (layout.sampleFormat == SAMPLEFORMAT_IEEEFP) text += "floating-point ";
  switch (layout.photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
      text += "grey";
      break;
    case PHOTOMETRIC_PALETTE:
      text += "palette";
      break;
    case PHOTOMETRIC_RGB:
      text += "RGB";
      break;
    case PHOTOMETRIC_SEPARATED:
      text += "CMYK";
      break;
    case PHOTOMETRIC_YCBCR:
      text += "YCbCr";
      break;
    default:
      text += "colour model " + std::to_string(layout.photometric);
      break;
  }
  if (layout.samples != 1) text += " with " + std::to_string(layout.samples) + " samples per pixel";
  return text;
}

bool isEightBitSingleChannel(const TiffLayout& layout) {
  const bool unsignedSamples =
      layout.sampleFormat == SAMPLEFORMAT_UINT || layout.sampleFormat == SAMPLEFORMAT_VOID;
  const bool greyOrPalette = layout.photometric == PHOTOMETRIC_MINISBLACK ||
                             layout.photometric == PHOTOMETRIC_MINISWHITE ||
                             layout.photometric == PHOTOMETRIC_PALETTE;
  return layout.bits == 8 && layout.samples == 1 && unsignedSamples && greyOrPalette;
}

// 16-bit samples are read as grey only: a 16-bit palette has no use in
// bright-field images.
bool isSixteenBitGrey(const TiffLayout& layout) {
  const bool unsignedSamples =
      layout.sampleFormat == SAMPLEFORMAT_UINT || layout.sampleFormat == SAMPLEFORMAT_VOID;
  const bool grey = layout.photometric == PHOTOMETRIC_MINISBLACK ||
                    layout.photometric == PHOTOMETRIC_MINISWHITE;
  return layout.bits == 16 && layout.samples == 1 && unsignedSamples && grey;
}

// Decodes the strips of a single-sample image of `sampleBytes` bytes per
// sample into `pixels` (width x height, pitch width x sampleBytes). libtiff
// delivers 16-bit samples in the machine's byte order.
bool readTiffStrips(TIFF* tif, uint32_t width, uint32_t height, uint32_t sampleBytes,
                    uint8_t* pixels) {
  uint32_t rowsPerStrip = 0;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  if (rowsPerStrip == 0 || rowsPerStrip > height) rowsPerStrip = height;
  const size_t rowBytes = static_cast<size_t>(width) * sampleBytes;
  for (uint32_t row = 0; row < height; row += rowsPerStrip) {
    const uint32_t rows = std::min(rowsPerStrip, height - row);
    const tmsize_t bytes = static_cast<tmsize_t>(rows) * static_cast<tmsize_t>(rowBytes);
    const tstrip_t strip = TIFFComputeStrip(tif, row, 0);
    if (TIFFReadEncodedStrip(tif, strip, pixels + static_cast<size_t>(row) * rowBytes, bytes) !=
        bytes) {
      return false;
    }
  }
  return true;
}

// Decodes tile by tile; tiles on the right and bottom edges reach past the
// image and only their inside part is kept.
bool readTiffTiles(TIFF* tif, uint32_t width, uint32_t height, uint32_t sampleBytes,
                   uint8_t* pixels) {
  uint32_t tileWidth = 0;
  uint32_t tileLength = 0;
  TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
  TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
  const tmsize_t tileBytes = TIFFTileSize(tif);
  if (tileWidth == 0 || tileLength == 0 || tileBytes > kMaxTileBytes ||
      tileBytes != static_cast<tmsize_t>(tileWidth) * tileLength * sampleBytes) {
    return false;
  }
  const size_t rowBytes = static_cast<size_t>(width) * sampleBytes;
  const size_t tileRowBytes = static_cast<size_t>(tileWidth) * sampleBytes;
  std::vector<uint8_t> tile(static_cast<size_t>(tileBytes));
  for (uint32_t y0 = 0; y0 < height; y0 += tileLength) {
    const uint32_t rows = std::min(tileLength, height - y0);
    for (uint32_t x0 = 0; x0 < width; x0 += tileWidth) {
      const uint32_t columns = std::min(tileWidth, width - x0);
      if (TIFFReadEncodedTile(tif, TIFFComputeTile(tif, x0, y0, 0, 0), tile.data(), tileBytes) !=
          tileBytes) {
        return false;
      }
      for (uint32_t r = 0; r < rows; ++r) {
        std::memcpy(pixels + static_cast<size_t>(y0 + r) * rowBytes + size_t{x0} * sampleBytes,
                    tile.data() + static_cast<size_t>(r) * tileRowBytes,
                    size_t{columns} * sampleBytes);
      }
    }
  }
  return true;
}

// A min-is-white sample counts darkness; the grey a viewer shows is the
// largest sample minus the sample.
void invertSamples(DecodedImage* image) {
  if (image->bits == 8) {
    for (uint8_t& value : image->pixels) value = static_cast<uint8_t>(255 - value);
    return;
  }
  for (size_t at = 0; at + 1 < image->pixels.size(); at += 2) {
    uint16_t value;
    std::memcpy(&value, image->pixels.data() + at, sizeof value);
    value = static_cast<uint16_t>(65535 - value);
    std::memcpy(image->pixels.data() + at, &value, sizeof value);
  }
}

}  // namespace

TiffHandle openTiffForReading(const std::string& path, std::string* libraryError) {
  // Codecs that still report through the process-wide handlers stay silent too.
  silenceLibtiff();
  std::unique_ptr<TIFFOpenOptions, TiffOptionsFree> options(TIFFOpenOptionsAlloc());
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), keepFirstTiffError, libraryError);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), ignoreTiffWarning, nullptr);
  return TiffHandle(TIFFOpenExt(path.c_str(), "r", options.get()));
}

bool decodeTiffPage(TIFF* tif, const Request& request, const std::string& libraryError,
                    DecodedImage* image) {
  const TiffLayout layout = readTiffLayout(tif);
  const bool sixteen = request.allowSixteen && isSixteenBitGrey(layout);
  if (!sixteen && !isEightBitSingleChannel(layout)) return failDepth(request, describeTiff(layout));
  if (!checkSize(layout.width, layout.height, request)) return false;

  const uint32_t sampleBytes = sixteen ? 2 : 1;
  uint8_t* pixels = allocateTopDown(request, image, sixteen ? 16 : 8);
  const bool decoded =
      TIFFIsTiled(tif) ? readTiffTiles(tif, layout.width, layout.height, sampleBytes, pixels)
                       : readTiffStrips(tif, layout.width, layout.height, sampleBytes, pixels);
  if (!decoded) return failTiff(libraryError, "pixel data cannot be read", request);
  if (layout.photometric == PHOTOMETRIC_MINISWHITE) invertSamples(image);
  return true;
}

bool decodeTiff(const std::string& path, const Request& request, DecodedImage* image) {
  std::string libraryError;
  TiffHandle tif = openTiffForReading(path, &libraryError);
  if (!tif) return failTiff(libraryError, "cannot read the first image directory", request);
  return decodeTiffPage(tif.get(), request, libraryError, image);
}

}  // namespace focustrack
