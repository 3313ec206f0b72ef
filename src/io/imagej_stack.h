// Multi-page TIFF laid out the way ImageJ writes its stacks, with room to
// grow in place: a little-endian header, the first page's directory with the
// description that tells ImageJ how many images the file holds, a slot for
// the directory of every further page the file may come to hold, then the
// samples of every page one after another without gaps. Readers that trust
// the description read the samples as one block from the first page's strip
// on; every other TIFF reader walks the directories. A page is added at the
// end without moving or rewriting anything written before it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace focustrack {

struct StackFileLayout {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bytesPerSample = 2;  // 2 or 4: unsigned 16- or 32-bit samples
  int32_t pages = 0;
  int32_t capacity = 0;        // pages with a directory slot; `pages` when smaller
  std::string description;     // image description of the first page
  double pixelsPerUnit = 0.0;  // X and Y resolution; 0 writes none
};

// Bytes of one page's samples.
uint64_t stackPageBytes(const StackFileLayout& layout);
// Where the samples of the first page start, after the directory slots.
uint64_t stackDataOffset(const StackFileLayout& layout);
// Size of the whole file; above 4 GiB the layout cannot be written.
uint64_t stackFileBytes(const StackFileLayout& layout);
// The most pages a file of this page size and description can hold within
// 4 GiB when every page has its directory slot.
int64_t stackPagesThatFit(const StackFileLayout& layout);

// Writes everything before the samples at the start of `file`: the header,
// the first directory, the directories of the other pages and the empty
// slots up to the capacity. The caller then writes the samples of every page
// in order, from stackDataOffset on.
bool writeStackHead(FILE* file, const StackFileLayout& layout);

// Adds the last page of `layout` to a file that holds the pages before it,
// written with the same layout but one page fewer (same capacity, a
// description of the same length). `samples` are the page's bytes as they
// are stored. Each write is handed to the system before the next one starts,
// and every state in between is a valid file: the samples and the directory
// go where nothing refers to yet, then the previous directory is linked to
// the new one, then the description's counts are raised. A process killed
// at any moment leaves a file that holds the pages before, the new page, or
// (linked but not yet counted) the new page for directory readers only.
bool appendStackPage(FILE* file, const StackFileLayout& layout, const std::vector<uint8_t>& samples);

// A rational close to `value` as numerator / denominator in 32 bits each.
void rationalOf(double value, uint32_t* numerator, uint32_t* denominator);

}  // namespace focustrack
