// Multi-page TIFF laid out the way ImageJ writes its stacks: a little-endian
// header, the first page's directory with the description that tells ImageJ
// how many images the file holds, then the samples of every page one after
// another without gaps, then the directories of the other pages. Readers
// that trust the description read the samples as one block; every other
// TIFF reader walks the directories.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace focustrack {

struct StackFileLayout {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bytesPerSample = 2;  // 2 or 4: unsigned 16- or 32-bit samples
  int32_t pages = 0;
  std::string description;     // image description of the first page
  double pixelsPerUnit = 0.0;  // X and Y resolution; 0 writes none
};

// Bytes of one page's samples.
uint64_t stackPageBytes(const StackFileLayout& layout);
// Where the samples of the first page start.
uint64_t stackDataOffset(const StackFileLayout& layout);
// Size of the whole file; above 4 GiB the layout cannot be written.
uint64_t stackFileBytes(const StackFileLayout& layout);

// Writes the header and the first directory at the start of `file`; the
// caller then writes the samples of every page in order, from
// stackDataOffset on, and finishes with writeStackTail.
bool writeStackHead(FILE* file, const StackFileLayout& layout);
// Writes the directories of pages 2 and later after the samples.
bool writeStackTail(FILE* file, const StackFileLayout& layout);

// A rational close to `value` as numerator / denominator in 32 bits each.
void rationalOf(double value, uint32_t* numerator, uint32_t* denominator);

}  // namespace focustrack
