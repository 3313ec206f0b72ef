#include "io/png_writer.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace focustrack {

namespace {

// libpng reports errors by a long jump back into encodeRows; what must
// survive the jump lives here, outside that function's frame.
struct PngWriteSession {
  png_structp png = nullptr;
  png_infop info = nullptr;
  FILE* file = nullptr;
  std::string error;
  ~PngWriteSession() {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    if (file != nullptr) std::fclose(file);
  }
};

void pngWriteError(png_structp png, png_const_charp message) {
  static_cast<PngWriteSession*>(png_get_error_ptr(png))->error = message;
  png_longjmp(png, 1);
}

void pngWriteWarning(png_structp, png_const_charp) {}

// Runs libpng over the rows; false after a libpng error (its text in the
// session). Nothing with a destructor may live in this frame.
bool encodeRows(PngWriteSession& s, int32_t width, int32_t height, const PngRowSource& row) {
  if (setjmp(png_jmpbuf(s.png))) return false;
  png_init_io(s.png, s.file);
  png_set_IHDR(s.png, s.info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(s.png, s.info);
  png_set_bgr(s.png);
  for (int32_t y = 0; y < height; ++y) {
    // libpng takes a non-const row but only reads it.
    png_write_row(s.png, const_cast<png_bytep>(row(y)));
  }
  png_write_end(s.png, nullptr);
  return true;
}

}  // namespace

bool writeRgbPng(const std::string& path, int32_t width, int32_t height, const PngRowSource& row,
                 std::string* reason) {
  if (width <= 0 || height <= 0) {
    *reason = "empty picture";
    return false;
  }
  PngWriteSession s;
  s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &s, pngWriteError, pngWriteWarning);
  if (s.png != nullptr) s.info = png_create_info_struct(s.png);
  if (s.info == nullptr) {
    *reason = "cannot start the PNG encoder";
    return false;
  }
  s.file = std::fopen(path.c_str(), "wb");
  if (s.file == nullptr) {
    *reason = std::string("cannot create file: ") + std::strerror(errno);
    return false;
  }
  if (!encodeRows(s, width, height, row)) {
    *reason = "write failed: " + s.error;
    return false;
  }
  FILE* file = s.file;
  s.file = nullptr;
  const bool flushed = !std::ferror(file);
  if (std::fclose(file) != 0 || !flushed) {
    *reason = "write failed (disk full?)";
    return false;
  }
  return true;
}

}  // namespace focustrack
