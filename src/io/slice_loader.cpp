// Slice loading: a slice is one focal plane of a frame's z-stack, stored as an
// 8-bit grey or palette image file. The file's first bytes choose the decoder;
// each decoder yields the whole image as a top-row pointer and a row pitch,
// and only then are its rows copied into the stack plane.
#include "io/slice_loader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "io/decoders.h"

namespace focustrack {

namespace {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

enum class FileFormat { Tiff, Png, Bmp, Jpeg, Unknown };

// Longest signature looked at (PNG's).
constexpr size_t kSignatureBytes = 8;

FileFormat formatOf(const unsigned char* head, size_t length) {
  auto startsWith = [&](std::initializer_list<unsigned char> magic) {
    return length >= magic.size() && std::memcmp(head, magic.begin(), magic.size()) == 0;
  };
  // Classic TIFF has version 42, BigTIFF 43, in either byte order.
  if (startsWith({'I', 'I', 42, 0}) || startsWith({'M', 'M', 0, 42}) ||
      startsWith({'I', 'I', 43, 0}) || startsWith({'M', 'M', 0, 43})) {
    return FileFormat::Tiff;
  }
  if (startsWith({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return FileFormat::Png;
  if (startsWith({'B', 'M'})) return FileFormat::Bmp;
  if (startsWith({0xFF, 0xD8, 0xFF})) return FileFormat::Jpeg;
  return FileFormat::Unknown;
}

FilePtr openFile(const std::string& path, const Request& request) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) fail(request, errno == ENOENT ? "file not found" : std::strerror(errno));
  return file;
}

// Reads the signature and rewinds, so that every decoder starts at byte 0.
bool readSignature(FILE* file, FileFormat* format, const Request& request) {
  unsigned char head[kSignatureBytes];
  const size_t length = std::fread(head, 1, sizeof head, file);
  if (std::ferror(file)) return fail(request, std::strerror(errno));
  std::rewind(file);
  *format = formatOf(head, length);
  if (*format == FileFormat::Unknown) return fail(request, "not a TIFF, PNG, BMP or JPEG image");
  return true;
}

// Opens the file, reads its signature and hands it to the decoder it names.
bool decodeFile(const std::string& path, const Request& request, DecodedImage* image) {
  FilePtr file = openFile(path, request);
  FileFormat format = FileFormat::Unknown;
  if (!file || !readSignature(file.get(), &format, request)) return false;
  switch (format) {
    case FileFormat::Tiff:
      return decodeTiff(path, request, image);
    case FileFormat::Png:
      return decodePng(file.get(), request, image);
    case FileFormat::Jpeg:
      return decodeJpeg(file.get(), request, image);
    case FileFormat::Bmp:
      return decodeBmp(file.get(), request, image);
    case FileFormat::Unknown:
      break;
  }
  return false;
}

}  // namespace

// One block copy per row; the pitch carries the row order of the decoded image.
void copyPlane(const DecodedImage& image, int32_t width, int32_t height, uint8_t* plane) {
  for (int32_t y = 0; y < height; ++y) {
    std::memcpy(plane + static_cast<size_t>(y) * width,
                image.top + static_cast<ptrdiff_t>(y) * image.pitch, static_cast<size_t>(width));
  }
}

void copyPlane(const DecodedImage& image, int32_t width, int32_t height, uint16_t* plane) {
  for (int32_t y = 0; y < height; ++y) {
    std::memcpy(plane + static_cast<size_t>(y) * width,
                image.top + static_cast<ptrdiff_t>(y) * image.pitch,
                static_cast<size_t>(width) * sizeof(uint16_t));
  }
}

bool loadSlice(const std::string& path, int32_t width, int32_t height, uint8_t* plane,
               std::string* reason) {
  const Request request{width, height, reason};
  DecodedImage image;
  if (!decodeFile(path, request, &image)) return false;
  copyPlane(image, width, height, plane);
  return true;
}

bool decodeSlice(const std::string& path, int32_t width, int32_t height, DecodedImage* image,
                 std::string* reason) {
  const Request request{width, height, reason, true};
  return decodeFile(path, request, image);
}

}  // namespace focustrack
