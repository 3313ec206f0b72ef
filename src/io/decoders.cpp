#include "io/decoders.h"

#include <cerrno>
#include <cstring>

namespace focustrack {

bool fail(const Request& request, std::string text) {
  *request.reason = std::move(text);
  return false;
}

bool failDepth(const Request& request, const std::string& found) {
  return fail(request, "image is " + found +
                           (request.allowSixteen ? ", expected 8-bit grey or palette, or 16-bit grey"
                                                 : ", expected 8-bit grey or palette"));
}

bool checkSize(int64_t foundWidth, int64_t foundHeight, const Request& request) {
  if (foundWidth == request.width && foundHeight == request.height) return true;
  return fail(request, "image is " + std::to_string(foundWidth) + " x " +
                           std::to_string(foundHeight) + " pixels, expected " +
                           std::to_string(request.width) + " x " + std::to_string(request.height));
}

uint8_t* allocateTopDown(const Request& request, DecodedImage* image, int32_t bits) {
  const size_t sampleBytes = bits == 16 ? 2 : 1;
  image->pixels.assign(static_cast<size_t>(request.width) * request.height * sampleBytes, 0);
  image->top = image->pixels.data();
  image->pitch = static_cast<ptrdiff_t>(request.width * sampleBytes);
  image->bits = bits == 16 ? 16 : 8;
  return image->pixels.data();
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

}  // namespace focustrack
