#include "base/padded_number.h"

#include <cstdio>

namespace focustrack {

std::string paddedNumber(int32_t value, int32_t digits) {
  char conversion[32];
  std::snprintf(conversion, sizeof conversion, "%%0%dd", digits);
  const int length = std::snprintf(nullptr, 0, conversion, value);
  std::string text(static_cast<size_t>(length), '\0');
  std::snprintf(text.data(), text.size() + 1, conversion, value);
  return text;
}

}  // namespace focustrack
