#include "output/dump.h"

#include "output/tables.h"
#include "run/slice_path.h"

bool dumpMap(const RunSettings& settings, const FrameBuffers& buffers, const char* name,
             TiffSample sample, const void* pixels, std::string* reason) {
  if (settings.dumpFolder.empty()) return true;
  const std::string path = outputPath(
      settings.dumpFolder, std::string(name) + "_" + paddedNumber(buffers.frameOrdinal, 4) + ".tif");
  std::string why;
  if (writeTiff(path, buffers.width, buffers.height, sample, pixels, &why)) return true;
  *reason = "cannot write '" + path + "': " + why;
  return false;
}
