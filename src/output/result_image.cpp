#include "output/result_image.h"

#include "output/tables.h"
#include "run/slice_path.h"

// Placeholders until the result image is built.
bool ResultCanvas::allocate(int32_t width, int32_t height) {
  width_ = width;
  height_ = height;
  return true;
}
void ResultCanvas::release() {}
void ResultCanvas::plotPixel(int32_t, int32_t, uint8_t, uint8_t, uint8_t) {}
void ResultCanvas::markEdge(int32_t, int32_t, bool, bool, bool, bool, bool) {}
void ResultCanvas::drawLine(int32_t, int32_t) {}
void ResultCanvas::drawNumber(int32_t, int32_t, int32_t) {}
int ResultCanvas::saveBmp(const std::string&) { return 0; }
void drawResultImage(const RunSettings&, const FrameBuffers&, ResultCanvas&) {}

std::string resultImagePath(const RunSettings& settings, int32_t frameOrdinal) {
  return outputPath(settings.outputFolder, "result_" + paddedNumber(frameOrdinal, 4) + ".bmp");
}
