#include "io/imagej_stack.h"

#include <algorithm>
#include <cmath>

namespace focustrack {

namespace {

constexpr uint32_t kHeaderBytes = 8;
constexpr uint32_t kEntryBytes = 12;
constexpr uint32_t kRationalBytes = 8;
constexpr uint64_t kDataAlignment = 16;
constexpr uint64_t kLargestFile = 0xFFFFFFFFull;  // offsets are 32-bit

enum FieldType : uint16_t { kAscii = 2, kShort = 3, kLong = 4, kRational = 5 };

struct Entry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  uint32_t value;  // the value itself (SHORT and LONG) or the offset of the values
};

void putLittle(std::vector<uint8_t>& bytes, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t roundUp(uint64_t value, uint64_t step) { return (value + step - 1) / step * step; }

bool hasResolution(const StackFileLayout& l) { return l.pixelsPerUnit > 0.0 && std::isfinite(l.pixelsPerUnit); }

// Entries per directory: 11 always, 3 for the resolution, 1 for the
// description of the first page.
uint32_t entryCount(const StackFileLayout& l, bool first) {
  return 11 + (hasResolution(l) ? 3 : 0) + (first ? 1 : 0);
}

uint32_t directoryBytes(const StackFileLayout& l, bool first) {
  return 2 + entryCount(l, first) * kEntryBytes + 4;
}

// After the first directory: the two resolutions, then the description.
uint32_t resolutionOffset(const StackFileLayout& l) { return kHeaderBytes + directoryBytes(l, true); }
uint32_t descriptionOffset(const StackFileLayout& l) {
  return resolutionOffset(l) + (hasResolution(l) ? 2 * kRationalBytes : 0);
}

// The directory slots follow the description. A slot starts 2 bytes past a
// multiple of 4 and is a multiple of 4 long, so that the link at its end
// (2 + 12 n bytes in) lies on a 4-byte boundary and never spans two memory
// pages: the system then writes it whole or not at all. The first
// directory's link lies within the file's first 4 KiB.
uint64_t slotBytes(const StackFileLayout& l) { return roundUp(directoryBytes(l, false), 4); }
uint64_t firstSlotOffset(const StackFileLayout& l) {
  return roundUp(descriptionOffset(l) + l.description.size() + 1, 4) + 2;
}
int32_t slotCount(const StackFileLayout& l) { return std::max(l.capacity, l.pages) - 1; }

// Where the directory of page `page` (0-based) starts.
uint64_t directoryOffset(const StackFileLayout& l, int32_t page) {
  return page == 0 ? kHeaderBytes : firstSlotOffset(l) + uint64_t(page - 1) * slotBytes(l);
}

// Where the directory of page `page` holds the offset of the next one.
uint64_t linkOffset(const StackFileLayout& l, int32_t page) {
  return directoryOffset(l, page) + 2 + entryCount(l, page == 0) * kEntryBytes;
}

uint64_t pageOffset(const StackFileLayout& l, int32_t page) {
  return stackDataOffset(l) + stackPageBytes(l) * uint64_t(page);
}

// The directory of page `page` (0-based), tags in ascending order.
std::vector<uint8_t> directory(const StackFileLayout& l, int32_t page, uint32_t nextOffset) {
  const uint32_t bits = 8 * uint32_t(l.bytesPerSample);
  std::vector<Entry> entries = {{254, kLong, 1, 0},  {256, kLong, 1, uint32_t(l.width)},
                                {257, kLong, 1, uint32_t(l.height)}, {258, kShort, 1, bits},
                                {259, kShort, 1, 1},                 {262, kShort, 1, 1}};
  if (page == 0) {
    entries.push_back({270, kAscii, uint32_t(l.description.size() + 1), descriptionOffset(l)});
  }
  entries.push_back({273, kLong, 1, uint32_t(pageOffset(l, page))});
  entries.push_back({277, kShort, 1, 1});
  entries.push_back({278, kLong, 1, uint32_t(l.height)});
  entries.push_back({279, kLong, 1, uint32_t(stackPageBytes(l))});
  if (hasResolution(l)) {
    entries.push_back({282, kRational, 1, resolutionOffset(l)});
    entries.push_back({283, kRational, 1, resolutionOffset(l) + kRationalBytes});
    entries.push_back({296, kShort, 1, 1});  // no absolute unit: the description names it
  }
  entries.push_back({339, kShort, 1, 1});    // unsigned integer samples
  std::vector<uint8_t> bytes;
  putLittle(bytes, entries.size(), 2);
  for (const Entry& e : entries) {
    putLittle(bytes, e.tag, 2);
    putLittle(bytes, e.type, 2);
    putLittle(bytes, e.count, 4);
    putLittle(bytes, e.value, 4);  // a SHORT sits in the first two bytes
  }
  putLittle(bytes, nextOffset, 4);
  return bytes;
}

// The offset of the directory after page `page`; 0 after the last page.
uint32_t nextDirectory(const StackFileLayout& l, int32_t page) {
  return page + 1 < l.pages ? uint32_t(directoryOffset(l, page + 1)) : 0;
}

// Header, first directory, resolutions and description.
std::vector<uint8_t> firstPart(const StackFileLayout& l) {
  std::vector<uint8_t> bytes = {'I', 'I'};
  putLittle(bytes, 42, 2);
  putLittle(bytes, kHeaderBytes, 4);
  const std::vector<uint8_t> first = directory(l, 0, nextDirectory(l, 0));
  bytes.insert(bytes.end(), first.begin(), first.end());
  if (hasResolution(l)) {
    uint32_t numerator = 0, denominator = 1;
    rationalOf(l.pixelsPerUnit, &numerator, &denominator);
    for (int axis = 0; axis < 2; ++axis) {
      putLittle(bytes, numerator, 4);
      putLittle(bytes, denominator, 4);
    }
  }
  bytes.insert(bytes.end(), l.description.begin(), l.description.end());
  return bytes;
}

// Writes `count` bytes at `offset` and hands them to the system.
bool writeAt(FILE* file, uint64_t offset, const uint8_t* bytes, size_t count) {
  return std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0 &&
         std::fwrite(bytes, 1, count, file) == count && std::fflush(file) == 0;
}

}  // namespace

void rationalOf(double value, uint32_t* numerator, uint32_t* denominator) {
  uint32_t below = 1000000;
  while (below > 1 && value * below >= 4294967295.0) below /= 10;
  const double scaled = std::round(value * below);
  *numerator = scaled < 1.0 ? 1u : scaled > 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(scaled);
  *denominator = below;
}

uint64_t stackPageBytes(const StackFileLayout& l) {
  return uint64_t(l.width) * uint64_t(l.height) * uint64_t(l.bytesPerSample);
}

uint64_t stackDataOffset(const StackFileLayout& l) {
  return roundUp(firstSlotOffset(l) + uint64_t(std::max(slotCount(l), 0)) * slotBytes(l), kDataAlignment);
}

uint64_t stackFileBytes(const StackFileLayout& l) { return pageOffset(l, l.pages); }

int64_t stackPagesThatFit(const StackFileLayout& l) {
  const uint64_t fixed = firstSlotOffset(l) + kDataAlignment;
  if (fixed >= kLargestFile) return 0;
  // The first page has no slot: one slot's bytes to spare.
  return int64_t((kLargestFile - fixed) / (stackPageBytes(l) + slotBytes(l)));
}

bool writeStackHead(FILE* file, const StackFileLayout& l) {
  if (l.pages < 1 || stackFileBytes(l) > kLargestFile) return false;
  std::vector<uint8_t> bytes = firstPart(l);
  bytes.reserve(stackDataOffset(l));
  for (int32_t page = 1; page <= slotCount(l); ++page) {
    bytes.resize(directoryOffset(l, page), 0);  // the text's terminating zero, the padding
    if (page >= l.pages) continue;              // an empty slot
    const std::vector<uint8_t> one = directory(l, page, nextDirectory(l, page));
    bytes.insert(bytes.end(), one.begin(), one.end());
  }
  bytes.resize(stackDataOffset(l), 0);
  return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

bool appendStackPage(FILE* file, const StackFileLayout& l, const std::vector<uint8_t>& samples) {
  const int32_t page = l.pages - 1;
  if (page < 1 || l.pages > l.capacity || samples.size() != stackPageBytes(l) ||
      stackFileBytes(l) > kLargestFile) {
    return false;
  }
  const std::vector<uint8_t> own = directory(l, page, 0);
  std::vector<uint8_t> link;
  putLittle(link, directoryOffset(l, page), 4);
  const auto* text = reinterpret_cast<const uint8_t*>(l.description.data());
  return writeAt(file, pageOffset(l, page), samples.data(), samples.size()) &&
         writeAt(file, directoryOffset(l, page), own.data(), own.size()) &&
         writeAt(file, linkOffset(l, page - 1), link.data(), link.size()) &&
         writeAt(file, descriptionOffset(l), text, l.description.size());
}

}  // namespace focustrack
