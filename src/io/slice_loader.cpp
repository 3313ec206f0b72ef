// Slice loading: a slice is one focal plane of a frame's z-stack, stored as an
// 8-bit grey or palette image file. The file's first bytes choose the decoder;
// each decoder yields the whole image as a top-row pointer and a row pitch,
// and only then are its rows copied into the stack plane.
#include "io/slice_loader.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

// jpeglib.h uses FILE and size_t without including their headers.
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#include <stb_image.h>

namespace focustrack {

namespace {

// Largest TIFF tile decoded; real tiles are far smaller, so a bigger one is a
// corrupt header rather than an image.
constexpr tmsize_t kMaxTileBytes = tmsize_t{64} << 20;
// Longest library message kept as a reason.
constexpr size_t kMessageBytes = 512;
// Bytes of the BMP file header, of the two info header kinds read, and of
// the info header the decoder is given.
constexpr size_t kBmpFileHeaderBytes = 14;
constexpr uint32_t kBmpCoreHeaderBytes = 12;
constexpr uint32_t kBmpInfoHeaderBytes = 40;
// Entries of the grey palette written for the decoder: every 8-bit index.
constexpr size_t kBmpPaletteEntries = 256;
// BMP compression values: none and run-length coded 8-bit.
constexpr uint32_t kBmpUncompressed = 0;
constexpr uint32_t kBmpRle8 = 1;

// A decoded image: the first (top) row and the distance to the next row
// down, pointing into storage the image owns.
struct DecodedImage {
  struct StbFree {
    void operator()(uint8_t* pixels) const { stbi_image_free(pixels); }
  };
  std::vector<uint8_t> pixels;
  std::unique_ptr<uint8_t, StbFree> stbPixels;
  const uint8_t* top = nullptr;
  ptrdiff_t pitch = 0;
};

// What a decoder must deliver, and where it says why it cannot.
struct Request {
  int32_t width;
  int32_t height;
  std::string* reason;
};

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

bool fail(const Request& request, std::string text) {
  *request.reason = std::move(text);
  return false;
}

bool failDepth(const Request& request, const std::string& found) {
  return fail(request, "image is " + found + ", expected 8-bit grey or palette");
}

bool checkSize(int64_t foundWidth, int64_t foundHeight, const Request& request) {
  if (foundWidth == request.width && foundHeight == request.height) return true;
  return fail(request, "image is " + std::to_string(foundWidth) + " x " +
                           std::to_string(foundHeight) + " pixels, expected " +
                           std::to_string(request.width) + " x " + std::to_string(request.height));
}

// Storage for a top-down image of the requested size, pitch = width.
uint8_t* allocateTopDown(const Request& request, DecodedImage* image) {
  image->pixels.assign(static_cast<size_t>(request.width) * request.height, 0);
  image->top = image->pixels.data();
  image->pitch = request.width;
  return image->pixels.data();
}

// ---- File access and format choice ----

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

bool readWholeFile(FILE* file, std::vector<uint8_t>* bytes, const Request& request) {
  // Read in blocks: the size is not asked for, so any kind of file works.
  constexpr size_t kBlockBytes = 1 << 16;
  bytes->clear();
  for (;;) {
    const size_t used = bytes->size();
    bytes->resize(used + kBlockBytes);
    const size_t got = std::fread(bytes->data() + used, 1, kBlockBytes, file);
    bytes->resize(used + got);
    if (got < kBlockBytes) break;
  }
  if (std::ferror(file)) return fail(request, std::strerror(errno));
  return true;
}

// ---- TIFF ----

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

bool decodeTiff(const std::string& path, const Request& request, DecodedImage* image) {
  // Codecs that still report through the process-wide handlers stay silent too.
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
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

// ---- PNG ----

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

// Grey gives its values and palette its indices as stored: no transform is set.
bool acceptPngHeader(png_structp png, png_infop info, const Request& request) {
  const int bitDepth = png_get_bit_depth(png, info);
  const int colourType = png_get_color_type(png, info);
  const bool singleChannel =
      colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_PALETTE;
  if (bitDepth != 8 || !singleChannel) {
    return failDepth(request, std::to_string(bitDepth) + "-bit " + pngColourName(colourType));
  }
  return checkSize(png_get_image_width(png, info), png_get_image_height(png, info), request);
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
  if (!acceptPngHeader(session->png, session->info, *request)) return false;
  png_set_interlace_handling(session->png);
  png_read_update_info(session->png, session->info);
  allocateTopDown(*request, image);
  pointRowsAt(*image, *request, &session->rows);
  png_read_image(session->png, session->rows.data());
  return true;
}

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

// ---- JPEG ----

// libjpeg reports errors by a long jump back into runJpegDecoder; the state
// that must survive the jump lives here.
struct JpegSession {
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  std::jmp_buf jump;
  std::string message;  // first error or corrupt-data warning
  bool created = false;
  ~JpegSession() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

void keepFirstJpegMessage(j_common_ptr common) {
  auto* session = static_cast<JpegSession*>(common->client_data);
  if (!session->message.empty()) return;
  char text[JMSG_LENGTH_MAX];
  (*common->err->format_message)(common, text);
  session->message = text;
}

void jpegErrorExit(j_common_ptr common) {
  keepFirstJpegMessage(common);
  std::longjmp(static_cast<JpegSession*>(common->client_data)->jump, 1);
}

// Level -1 is a warning about corrupt data (a truncated file decodes to a
// padded image with only a warning); it fails the load. Higher levels are
// trace messages.
void jpegEmitMessage(j_common_ptr common, int level) {
  if (level < 0) keepFirstJpegMessage(common);
}

bool acceptJpegHeader(const jpeg_decompress_struct& info, const Request& request) {
  if (info.num_components != 1) {
    return failDepth(request, std::to_string(info.num_components) + "-channel colour JPEG");
  }
  if (info.data_precision != 8) {
    return failDepth(request, std::to_string(info.data_precision) + "-bit grey JPEG");
  }
  return checkSize(info.image_width, info.image_height, request);
}

void readJpegRows(jpeg_decompress_struct* info, const DecodedImage& image) {
  while (info->output_scanline < info->output_height) {
    JSAMPROW row = const_cast<JSAMPROW>(image.top) +
                   static_cast<ptrdiff_t>(info->output_scanline) * image.pitch;
    jpeg_read_scanlines(info, &row, 1);
  }
}

// Holds no object with a destructor: a libjpeg error jumps straight back to
// the setjmp below.
bool runJpegDecoder(FILE* file, JpegSession* session, const Request* request, DecodedImage* image) {
  if (setjmp(session->jump)) return false;
  jpeg_create_decompress(&session->info);
  session->created = true;
  jpeg_stdio_src(&session->info, file);
  jpeg_read_header(&session->info, TRUE);
  if (!acceptJpegHeader(session->info, *request)) return false;
  session->info.out_color_space = JCS_GRAYSCALE;
  jpeg_start_decompress(&session->info);
  allocateTopDown(*request, image);
  readJpegRows(&session->info, *image);
  return session->message.empty();
}

bool decodeJpeg(FILE* file, const Request& request, DecodedImage* image) {
  JpegSession session;
  session.info.err = jpeg_std_error(&session.errors);
  session.errors.error_exit = jpegErrorExit;
  session.errors.emit_message = jpegEmitMessage;
  session.info.client_data = &session;
  request.reason->clear();
  if (runJpegDecoder(file, &session, &request, image)) return true;
  if (request.reason->empty()) return fail(request, "JPEG decoding failed: " + session.message);
  return false;
}

// ---- BMP ----

struct BmpHeader {
  int64_t width = 0;
  int64_t height = 0;  // negative: rows stored top row first
  uint16_t planes = 0;
  uint16_t bits = 0;
  uint32_t compression = kBmpUncompressed;
  uint32_t pixelOffset = 0;
};

uint32_t readLe(const std::vector<uint8_t>& bytes, size_t at, int byteCount) {
  uint32_t value = 0;
  for (int i = byteCount - 1; i >= 0; --i)
    value = (value << 8) | bytes[at + static_cast<size_t>(i)];
  return value;
}

void writeLe(std::vector<uint8_t>* bytes, size_t at, uint32_t value, int byteCount) {
  for (int i = 0; i < byteCount; ++i)
    (*bytes)[at + static_cast<size_t>(i)] = (value >> (8 * i)) & 0xFF;
}

// Reads the file and info headers; every offset is checked against the file
// length before it is used.
bool readBmpHeader(const std::vector<uint8_t>& file, BmpHeader* header, const Request& request) {
  const size_t length = file.size();
  if (length < kBmpFileHeaderBytes + 4) return fail(request, "BMP header is truncated");
  header->pixelOffset = readLe(file, 10, 4);
  const uint32_t infoBytes = readLe(file, kBmpFileHeaderBytes, 4);
  if (infoBytes != kBmpCoreHeaderBytes && infoBytes < kBmpInfoHeaderBytes) {
    return fail(request, "BMP header size " + std::to_string(infoBytes) + " is not supported");
  }
  const uint64_t infoEnd = uint64_t{kBmpFileHeaderBytes} + infoBytes;
  if (infoEnd > length || infoEnd > header->pixelOffset || header->pixelOffset > length) {
    return fail(request, "BMP header is corrupt: offsets lie outside the file");
  }
  if (infoBytes == kBmpCoreHeaderBytes) {
    header->width = readLe(file, 18, 2);
    header->height = readLe(file, 20, 2);
    header->planes = static_cast<uint16_t>(readLe(file, 22, 2));
    header->bits = static_cast<uint16_t>(readLe(file, 24, 2));
  } else {
    header->width = static_cast<int32_t>(readLe(file, 18, 4));
    header->height = static_cast<int32_t>(readLe(file, 22, 4));
    header->planes = static_cast<uint16_t>(readLe(file, 26, 2));
    header->bits = static_cast<uint16_t>(readLe(file, 28, 2));
    header->compression = readLe(file, 30, 4);
  }
  return true;
}

bool acceptBmpHeader(const BmpHeader& header, const Request& request) {
  if (header.bits != 8) return failDepth(request, std::to_string(header.bits) + "-bit BMP");
  if (header.compression == kBmpRle8) return fail(request, "RLE8-compressed BMP is not supported");
  if (header.compression != kBmpUncompressed) {
    return fail(request,
                "BMP compression " + std::to_string(header.compression) + " is not supported");
  }
  if (header.planes != 1 || header.width <= 0 || header.height == 0) {
    return fail(request, "BMP header is corrupt");
  }
  return checkSize(header.width, header.height < 0 ? -header.height : header.height, request);
}

// Bytes of one stored row: rows are padded to a multiple of four bytes.
size_t bmpStride(int64_t width) { return static_cast<size_t>((width + 3) / 4 * 4); }

// The decoder expands palette entries to colours and, for a file whose
// palette is short (or a 12-byte header), reads entries the file does not
// have. So it is given the file's rows behind a 40-byte header and a full
// palette whose entry i is grey (i, i, i): grey i has luminance exactly i,
// and the single-channel result is the palette index.
std::vector<uint8_t> indexPaletteCopy(const std::vector<uint8_t>& file, const BmpHeader& header,
                                      size_t pixelBytes) {
  const size_t pixelOffset = kBmpFileHeaderBytes + kBmpInfoHeaderBytes + 4 * kBmpPaletteEntries;
  std::vector<uint8_t> copy(pixelOffset + pixelBytes, 0);
  copy[0] = 'B';
  copy[1] = 'M';
  writeLe(&copy, 2, static_cast<uint32_t>(copy.size()), 4);
  writeLe(&copy, 10, static_cast<uint32_t>(pixelOffset), 4);
  writeLe(&copy, 14, kBmpInfoHeaderBytes, 4);
  writeLe(&copy, 18, static_cast<uint32_t>(header.width), 4);
  writeLe(&copy, 22, static_cast<uint32_t>(static_cast<int32_t>(header.height)), 4);
  writeLe(&copy, 26, 1, 2);
  writeLe(&copy, 28, 8, 2);
  writeLe(&copy, 30, kBmpUncompressed, 4);
  writeLe(&copy, 34, static_cast<uint32_t>(pixelBytes), 4);
  for (size_t i = 0; i < kBmpPaletteEntries; ++i) {
    uint8_t* entry = copy.data() + kBmpFileHeaderBytes + kBmpInfoHeaderBytes + 4 * i;
    entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(i);
  }
  std::memcpy(copy.data() + pixelOffset, file.data() + header.pixelOffset, pixelBytes);
  return copy;
}

bool decodeBmp(FILE* file, const Request& request, DecodedImage* image) {
  std::vector<uint8_t> bytes;
  if (!readWholeFile(file, &bytes, request)) return false;
  BmpHeader header;
  if (!readBmpHeader(bytes, &header, request) || !acceptBmpHeader(header, request)) return false;
  const size_t pixelBytes = bmpStride(header.width) * static_cast<size_t>(request.height);
  if (bytes.size() - header.pixelOffset < pixelBytes)
    return fail(request, "BMP pixel data is truncated");

  const std::vector<uint8_t> copy = indexPaletteCopy(bytes, header, pixelBytes);
  if (copy.size() > static_cast<size_t>(INT32_MAX)) return fail(request, "BMP is too large");
  int width = 0;
  int height = 0;
  int channels = 0;
  image->stbPixels.reset(stbi_load_from_memory(copy.data(), static_cast<int>(copy.size()), &width,
                                               &height, &channels, 1));
  if (!image->stbPixels)
    return fail(request, std::string("BMP decoding failed: ") + stbi_failure_reason());
  if (!checkSize(width, height, request)) return false;
  image->top = image->stbPixels.get();
  image->pitch = width;
  return true;
}

// ---- Copy ----

// One block copy per row; the pitch carries the row order of the decoded image.
void copyRows(const DecodedImage& image, int32_t width, int32_t height, uint8_t* plane) {
  for (int32_t y = 0; y < height; ++y) {
    std::memcpy(plane + static_cast<size_t>(y) * width,
                image.top + static_cast<ptrdiff_t>(y) * image.pitch, static_cast<size_t>(width));
  }
}

}  // namespace

bool loadSlice(const std::string& path, int32_t width, int32_t height, uint8_t* plane,
               std::string* reason) {
  const Request request{width, height, reason};
  FilePtr file = openFile(path, request);
  FileFormat format = FileFormat::Unknown;
  if (!file || !readSignature(file.get(), &format, request)) return false;

  DecodedImage image;
  bool decoded = false;
  switch (format) {
    case FileFormat::Tiff:
      decoded = decodeTiff(path, request, &image);
      break;
    case FileFormat::Png:
      decoded = decodePng(file.get(), request, &image);
      break;
    case FileFormat::Jpeg:
      decoded = decodeJpeg(file.get(), request, &image);
      break;
    case FileFormat::Bmp:
      decoded = decodeBmp(file.get(), request, &image);
      break;
    case FileFormat::Unknown:
      break;
  }
  if (!decoded) return false;
  copyRows(image, width, height, plane);
  return true;
}

}  // namespace focustrack
