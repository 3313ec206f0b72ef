#include "io/output_paths.h"

#include "base/padded_number.h"

namespace focustrack {

namespace {
constexpr int32_t kFrameFileDigits = 4;
}  // namespace

std::string outputPath(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

std::string frameFilePath(const std::string& folder, const std::string& stem, int32_t frameOrdinal,
                          const std::string& extension) {
  return outputPath(folder, stem + "_" + paddedNumber(frameOrdinal, kFrameFileDigits) + "." + extension);
}

}  // namespace focustrack
