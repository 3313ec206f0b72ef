#include "run/slice_path.h"

#include <cstdio>

namespace {

std::string replaceAll(const std::string& text, const char* placeholder, const std::string& by) {
  std::string out;
  out.reserve(text.size() + by.size());
  size_t from = 0;
  for (size_t at = text.find(placeholder); at != std::string::npos;
       at = text.find(placeholder, from)) {
    out.append(text, from, at - from);
    out += by;
    from = at + 2;
  }
  out.append(text, from, std::string::npos);
  return out;
}

}  // namespace

std::string paddedNumber(int32_t value, int32_t digits) {
  char conversion[32];
  std::snprintf(conversion, sizeof conversion, "%%0%dd", digits);
  const int length = std::snprintf(nullptr, 0, conversion, value);
  std::string text(static_cast<size_t>(length), '\0');
  std::snprintf(text.data(), text.size() + 1, conversion, value);
  return text;
}

std::string slicePath(const std::string& pattern, int32_t frame, int32_t frameDigits,
                      int32_t slice, int32_t sliceDigits) {
  const std::string path = replaceAll(pattern, "%0", paddedNumber(frame, frameDigits));
  return replaceAll(path, "%1", paddedNumber(slice, sliceDigits));
}
