#include "output/dump.h"

#include "io/output_paths.h"

namespace focustrack {

bool dumpMap(const RunSettings& settings, const FrameBuffers& buffers, const char* name,
             TiffSample sample, const void* pixels, std::string* reason) {
  if (settings.dumpFolder.empty()) return true;
  const std::string path = frameFilePath(settings.dumpFolder, name, buffers.frameOrdinal, "tif");
  std::string why;
  if (writeTiff(path, buffers.width, buffers.height, sample, pixels, &why)) return true;
  *reason = "cannot write '" + path + "': " + why;
  return false;
}

}  // namespace focustrack
