#include "io/tiff_writer.h"

#include <tiffio.h>

#include <cerrno>
#include <cstring>

namespace focustrack {

namespace {

struct SampleLayout {
  uint16_t bits;
  uint16_t format;
  size_t bytes;
};

SampleLayout layoutOf(TiffSample sample) {
  switch (sample) {
    case TiffSample::UInt8: return {8, SAMPLEFORMAT_UINT, 1};
    case TiffSample::UInt16: return {16, SAMPLEFORMAT_UINT, 2};
    case TiffSample::Int32: return {32, SAMPLEFORMAT_INT, 4};
    case TiffSample::UInt32: return {32, SAMPLEFORMAT_UINT, 4};
    case TiffSample::Float64: return {64, SAMPLEFORMAT_IEEEFP, 8};
  }
  return {8, SAMPLEFORMAT_UINT, 1};
}

}  // namespace

// Once per process: the handlers are process-wide, and threads load and
// write files at the same time.
void silenceLibtiff() {
  static const bool silenced = [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    return true;
  }();
  (void)silenced;
}

bool writeTiff(const std::string& path, int32_t width, int32_t height, TiffSample sample,
               const void* pixels, std::string* reason) {
  silenceLibtiff();
  const SampleLayout layout = layoutOf(sample);
  // "w8" would be BigTIFF; plain "w" stays readable by every viewer.
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) {
    *reason = std::string("cannot create file: ") + std::strerror(errno);
    return false;
  }
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, layout.bits);
  TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, layout.format);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
  const auto* bytes = static_cast<const unsigned char*>(pixels);
  const size_t rowBytes = static_cast<size_t>(width) * layout.bytes;
  bool ok = true;
  for (int32_t y = 0; y < height && ok; ++y) {
    // libtiff takes a non-const row but does not modify it without compression.
    ok = TIFFWriteScanline(tif, const_cast<unsigned char*>(bytes + y * rowBytes),
                           static_cast<uint32_t>(y), 0) == 1;
  }
  if (ok) ok = TIFFWriteDirectory(tif) == 1;
  TIFFClose(tif);
  if (!ok) *reason = "write failed (disk full?)";
  return ok;
}

}  // namespace focustrack
