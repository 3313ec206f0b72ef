#include "io/decoders.h"

#include <cerrno>
#include <cstring>

#include <png.h>

namespace focustrack {

namespace {

// libpng reports errors by a long jump back into runPngDecoder; everything
// that must survive the jump lives here, outside that function's frame.
struct PngSession {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::string error;
  std::vector<png_bytep> rows;
  ~PngSession() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

void pngError(png_structp png, png_const_charp message) {
  static_cast<PngSession*>(png_get_error_ptr(png))->error = message;
  png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// Reads through stdio like libpng's own reader, but says why a read fell short.
void readPngBytes(png_structp png, png_bytep data, size_t length) {
  auto* file = static_cast<FILE*>(png_get_io_ptr(png));
  if (std::fread(data, 1, length, file) != length) {
    png_error(png, std::ferror(file) ? std::strerror(errno) : "file ends early");
  }
}

const char* pngColourName(int colourType) {
  switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
      return "grey";
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return "grey with alpha";
    case PNG_COLOR_TYPE_PALETTE:
      return "palette";
    case PNG_COLOR_TYPE_RGB:
      return "RGB";
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return "RGBA";
    default:
      return "unknown colour type";
  }
}

// Grey gives its values and palette its indices as stored: no transform is
// set, except the byte swap that makes 16-bit grey samples native uint16_t.
bool acceptPngHeader(png_structp png, png_infop info, const Request& request, int32_t* bits) {
  const int bitDepth = png_get_bit_depth(png, info);
  const int colourType = png_get_color_type(png, info);
  const bool singleChannel =
      colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_PALETTE;
  const bool sixteen =
      request.allowSixteen && bitDepth == 16 && colourType == PNG_COLOR_TYPE_GRAY;
  if (!sixteen && (bitDepth != 8 || !singleChannel)) {
    return failDepth(request, std::to_string(bitDepth) + "-bit " + pngColourName(colourType));
  }
  *bits = sixteen ? 16 : 8;
  return checkSize(png_get_image_width(png, info), png_get_image_height(png, info), request);
}

bool littleEndianMachine() {
  const uint16_t probe = 1;
  unsigned char first;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

void pointRowsAt(const DecodedImage& image, const Request& request, std::vector<png_bytep>* rows) {
  rows->resize(static_cast<size_t>(request.height));
  for (int32_t y = 0; y < request.height; ++y) {
    (*rows)[static_cast<size_t>(y)] =
        const_cast<png_bytep>(image.top) + static_cast<ptrdiff_t>(y) * image.pitch;
  }
}

// Holds no object with a destructor: a libpng error jumps straight back to
// the setjmp below, past every frame in between.
bool runPngDecoder(FILE* file, PngSession* session, const Request* request, DecodedImage* image) {
  if (setjmp(png_jmpbuf(session->png))) return false;
  png_set_read_fn(session->png, file, readPngBytes);
  png_read_info(session->png, session->info);
  int32_t bits = 8;
  if (!acceptPngHeader(session->png, session->info, *request, &bits)) return false;
  // PNG stores 16-bit samples most significant byte first.
  if (bits == 16 && littleEndianMachine()) png_set_swap(session->png);
  png_set_interlace_handling(session->png);
  png_read_update_info(session->png, session->info);
  allocateTopDown(*request, image, bits);
  pointRowsAt(*image, *request, &session->rows);
  png_read_image(session->png, session->rows.data());
  return true;
}

}  // namespace

bool decodePng(FILE* file, const Request& request, DecodedImage* image) {
  PngSession session;
  session.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &session, pngError, pngWarning);
  if (session.png) session.info = png_create_info_struct(session.png);
  if (!session.png || !session.info) return fail(request, "PNG decoder cannot start");
  request.reason->clear();
  if (runPngDecoder(file, &session, &request, image)) return true;
  if (request.reason->empty()) return fail(request, "PNG decoding failed: " + session.error);
  return false;
}

}  // namespace focustrack
