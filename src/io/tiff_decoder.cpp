#include "io/decoders.h"
#include "io/tiff_writer.h"

#include <cstdarg>
#include <cstring>

#include <tiffio.h>

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

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
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

// Decodes the strips of an 8-bit single-sample image into `pixels`
// (width x height, pitch width).
bool readTiffStrips(TIFF* tif, uint32_t width, uint32_t height, uint8_t* pixels) {
  uint32_t rowsPerStrip = 0;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  if (rowsPerStrip == 0 || rowsPerStrip > height) rowsPerStrip = height;
  for (uint32_t row = 0; row < height; row += rowsPerStrip) {
    const uint32_t rows = std::min(rowsPerStrip, height - row);
    const tmsize_t bytes = static_cast<tmsize_t>(rows) * width;
    const tstrip_t strip = TIFFComputeStrip(tif, row, 0);
    if (TIFFReadEncodedStrip(tif, strip, pixels + static_cast<size_t>(row) * width, bytes) !=
        bytes) {
      return false;
    }
  }
  return true;
}

// Decodes tile by tile; tiles on the right and bottom edges reach past the
// image and only their inside part is kept.
bool readTiffTiles(TIFF* tif, uint32_t width, uint32_t height, uint8_t* pixels) {
  uint32_t tileWidth = 0;
  uint32_t tileLength = 0;
  TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
  TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
  const tmsize_t tileBytes = TIFFTileSize(tif);
  if (tileWidth == 0 || tileLength == 0 || tileBytes > kMaxTileBytes ||
      tileBytes != static_cast<tmsize_t>(tileWidth) * tileLength) {
    return false;
  }
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
        std::memcpy(pixels + static_cast<size_t>(y0 + r) * width + x0,
                    tile.data() + static_cast<size_t>(r) * tileWidth, columns);
      }
    }
  }
  return true;
}

// A min-is-white sample counts darkness; the grey a viewer shows is 255 - sample.
void invertSamples(std::vector<uint8_t>* pixels) {
  for (uint8_t& value : *pixels) value = static_cast<uint8_t>(255 - value);
}

}  // namespace

bool decodeTiff(const std::string& path, const Request& request, DecodedImage* image) {
  // Codecs that still report through the process-wide handlers stay silent too.
  silenceLibtiff();
  std::string libraryError;
  std::unique_ptr<TIFFOpenOptions, TiffOptionsFree> options(TIFFOpenOptionsAlloc());
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), keepFirstTiffError, &libraryError);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), ignoreTiffWarning, nullptr);
  std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpenExt(path.c_str(), "r", options.get()));
  if (!tif) return failTiff(libraryError, "cannot read the first image directory", request);

  const TiffLayout layout = readTiffLayout(tif.get());
  if (!isEightBitSingleChannel(layout)) return failDepth(request, describeTiff(layout));
  if (!checkSize(layout.width, layout.height, request)) return false;

  uint8_t* pixels = allocateTopDown(request, image);
  const bool decoded = TIFFIsTiled(tif.get())
                           ? readTiffTiles(tif.get(), layout.width, layout.height, pixels)
                           : readTiffStrips(tif.get(), layout.width, layout.height, pixels);
  if (!decoded) return failTiff(libraryError, "pixel data cannot be read", request);
  if (layout.photometric == PHOTOMETRIC_MINISWHITE) invertSamples(&image->pixels);
  return true;
}

}  // namespace focustrack
