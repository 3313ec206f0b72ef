// Uncompressed TIFF images for maps that other programs open: intermediate
// maps, label masks and synthetic recordings (one page per file, or many).
#pragma once

#include <cstdint>
#include <string>

#include <tiffio.h>

namespace focustrack {

enum class TiffSample { UInt8, UInt16, Int32, UInt32, Float64 };

// Silences libtiff's process-wide error and warning handlers, which would
// print; readers and writers take their reasons from return values and their
// own per-file handlers instead.
void silenceLibtiff();

// Writes width x height samples, row-major, top row first. Returns false with
// a reason when the file cannot be written.
bool writeTiff(const std::string& path, int32_t width, int32_t height, TiffSample sample,
               const void* pixels, std::string* reason);

// Byte order and offset size of a file written page by page.
enum class TiffFileKind { LittleEndian, BigEndian, BigTiff };

// A multi-page TIFF written one page at a time, so that a recording of any
// length never needs to be in memory.
class TiffPageWriter {
 public:
  TiffPageWriter() = default;
  TiffPageWriter(const TiffPageWriter&) = delete;
  TiffPageWriter& operator=(const TiffPageWriter&) = delete;
  ~TiffPageWriter();

  bool open(const std::string& path, TiffFileKind kind, std::string* reason);
  // Appends a page like writeTiff's; a non-empty description becomes its
  // ImageDescription, and pixels per unit above 0 its X and Y resolution
  // (the unit is the one a description names).
  bool writePage(int32_t width, int32_t height, TiffSample sample, const void* pixels,
                 const std::string& description, std::string* reason, double pixelsPerUnit = 0.0);
  bool close(std::string* reason);

 private:
  TIFF* tif_ = nullptr;
};

}  // namespace focustrack
