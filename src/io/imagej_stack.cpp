#include "io/imagej_stack.h"

#include <cmath>
#include <vector>

namespace focustrack {

namespace {

constexpr uint32_t kHeaderBytes = 8;
constexpr uint32_t kEntryBytes = 12;
constexpr uint32_t kRationalBytes = 8;
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

bool hasResolution(const StackFileLayout& l) { return l.pixelsPerUnit > 0.0 && std::isfinite(l.pixelsPerUnit); }

// Entries per directory: 12 always, 3 for the resolution, 1 for the
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

uint64_t tailOffset(const StackFileLayout& l) {
  return stackDataOffset(l) + stackPageBytes(l) * uint64_t(l.pages);
}

// The directory of page `page` (0-based), tags in ascending order.
std::vector<uint8_t> directory(const StackFileLayout& l, int32_t page, uint32_t nextOffset) {
  const uint32_t bits = 8 * uint32_t(l.bytesPerSample);
  const uint32_t samples = uint32_t(stackDataOffset(l) + stackPageBytes(l) * uint64_t(page));
  std::vector<Entry> entries = {{254, kLong, 1, 0},  {256, kLong, 1, uint32_t(l.width)},
                                {257, kLong, 1, uint32_t(l.height)}, {258, kShort, 1, bits},
                                {259, kShort, 1, 1},                 {262, kShort, 1, 1}};
  if (page == 0) {
    entries.push_back({270, kAscii, uint32_t(l.description.size() + 1), descriptionOffset(l)});
  }
  entries.push_back({273, kLong, 1, samples});
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

// A stack of one page has no further directories: nothing to write.
bool writeAll(FILE* file, const std::vector<uint8_t>& bytes) {
  return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
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
  const uint64_t end = descriptionOffset(l) + l.description.size() + 1;
  return (end + 15) / 16 * 16;
}

uint64_t stackFileBytes(const StackFileLayout& l) {
  return tailOffset(l) + uint64_t(l.pages > 1 ? l.pages - 1 : 0) * directoryBytes(l, false);
}

bool writeStackHead(FILE* file, const StackFileLayout& l) {
  if (l.pages < 1 || stackFileBytes(l) > kLargestFile) return false;
  std::vector<uint8_t> bytes = {'I', 'I'};
  putLittle(bytes, 42, 2);
  putLittle(bytes, kHeaderBytes, 4);
  const std::vector<uint8_t> first = directory(l, 0, l.pages > 1 ? uint32_t(tailOffset(l)) : 0);
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
  bytes.resize(stackDataOffset(l), 0);  // the text's terminating zero and the alignment
  return writeAll(file, bytes);
}

bool writeStackTail(FILE* file, const StackFileLayout& l) {
  const uint64_t start = tailOffset(l);
  const uint32_t size = directoryBytes(l, false);
  std::vector<uint8_t> bytes;
  for (int32_t page = 1; page < l.pages; ++page) {
    const uint32_t next = page + 1 < l.pages ? uint32_t(start + uint64_t(page) * size) : 0;
    const std::vector<uint8_t> one = directory(l, page, next);
    bytes.insert(bytes.end(), one.begin(), one.end());
  }
  return writeAll(file, bytes);
}

}  // namespace focustrack
