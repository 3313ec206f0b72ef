#include "io/decoders.h"

#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#include <stb_image.h>

namespace focustrack {

namespace {

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

}  // namespace

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
  image->libraryPixels = {stbi_load_from_memory(copy.data(), static_cast<int>(copy.size()), &width,
                                                &height, &channels, 1),
                          [](uint8_t* pixels) { stbi_image_free(pixels); }};
  if (!image->libraryPixels)
    return fail(request, std::string("BMP decoding failed: ") + stbi_failure_reason());
  if (!checkSize(width, height, request)) return false;
  image->top = image->libraryPixels.get();
  image->pitch = width;
  return true;
}

}  // namespace focustrack
