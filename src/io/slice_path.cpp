#include "io/slice_path.h"

#include "base/padded_number.h"

namespace focustrack {

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

std::string slicePath(const std::string& pattern, int32_t frame, int32_t frameDigits,
                      int32_t slice, int32_t sliceDigits) {
  const std::string path = replaceAll(pattern, "%0", paddedNumber(frame, frameDigits));
  return replaceAll(path, "%1", paddedNumber(slice, sliceDigits));
}

}  // namespace focustrack
