#include "io/tiff_writer.h"

#include <tiffio.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "io/atomic_file.h"

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

namespace {

// Tags and rows of one page, then its directory.
bool writePageTo(TIFF* tif, int32_t width, int32_t height, TiffSample sample, const void* pixels,
                 const std::string& description, double pixelsPerUnit = 0.0) {
  const SampleLayout layout = layoutOf(sample);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, layout.bits);
  TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, layout.format);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
  if (!description.empty()) TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, description.c_str());
  if (pixelsPerUnit > 0.0) {
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, pixelsPerUnit);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, pixelsPerUnit);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE);
  }
  const auto* bytes = static_cast<const unsigned char*>(pixels);
  const size_t rowBytes = static_cast<size_t>(width) * layout.bytes;
  // libtiff takes a non-const row; it leaves it alone without compression,
  // except that it swaps the bytes of samples in place for a file of the
  // other byte order: such rows are written from a copy.
  std::vector<unsigned char> copy(TIFFIsByteSwapped(tif) ? rowBytes : 0);
  bool ok = true;
  errno = 0;
  for (int32_t y = 0; y < height && ok; ++y) {
    unsigned char* row = const_cast<unsigned char*>(bytes + y * rowBytes);
    if (!copy.empty()) row = static_cast<unsigned char*>(std::memcpy(copy.data(), row, rowBytes));
    ok = TIFFWriteScanline(tif, row, static_cast<uint32_t>(y), 0) == 1;
  }
  return ok && TIFFWriteDirectory(tif) == 1;
}

}  // namespace

bool writeTiff(const std::string& path, int32_t width, int32_t height, TiffSample sample,
               const void* pixels, std::string* reason) {
  silenceLibtiff();
  // "w8" would be BigTIFF; plain "w" stays readable by every viewer.
  const std::string temporary = temporaryPath(path);
  TIFF* tif = TIFFOpen(temporary.c_str(), "w");
  if (tif == nullptr) {
    *reason = std::string("cannot create file: ") + std::strerror(errno);
    return false;
  }
  errno = 0;
  const bool ok = writePageTo(tif, width, height, sample, pixels, "");
  const int savedErrno = errno;
  TIFFClose(tif);
  if (!ok) {
    *reason = std::string("write failed: ") + (savedErrno != 0 ? std::strerror(savedErrno) : "unknown cause");
    discardFile(temporary, path);
    return false;
  }
  return publishFile(temporary, path, reason);
}

TiffPageWriter::~TiffPageWriter() {
  if (tif_ != nullptr) TIFFClose(tif_);
}

bool TiffPageWriter::open(const std::string& path, TiffFileKind kind, std::string* reason) {
  silenceLibtiff();
  if (tif_ != nullptr) TIFFClose(tif_);
  const char* mode = kind == TiffFileKind::BigEndian ? "wb" : kind == TiffFileKind::BigTiff ? "w8" : "w";
  tif_ = TIFFOpen(path.c_str(), mode);
  if (tif_ == nullptr) {
    *reason = std::string("cannot create file: ") + std::strerror(errno);
    return false;
  }
  return true;
}

bool TiffPageWriter::writePage(int32_t width, int32_t height, TiffSample sample, const void* pixels,
                               const std::string& description, std::string* reason, double pixelsPerUnit) {
  if (tif_ != nullptr && writePageTo(tif_, width, height, sample, pixels, description, pixelsPerUnit)) {
    return true;
  }
  *reason = "write failed (disk full?)";
  return false;
}

bool TiffPageWriter::close(std::string* reason) {
  if (tif_ == nullptr) return true;
  const bool flushed = TIFFFlush(tif_) == 1;
  TIFFClose(tif_);
  tif_ = nullptr;
  if (!flushed) *reason = "write failed (disk full?)";
  return flushed;
}

}  // namespace focustrack
