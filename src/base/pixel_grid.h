// Pixel neighbourhoods shared by the cell stages: the 4-neighbour list in its
// fixed order, the memory hint of the passes in value order, and the test for
// a pixel on a one-pixel-wide line, which both the seed thinning and the
// protrusion removal apply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace focustrack {

// The in-image 4-neighbours of pixel p at (x, y), in the order left, right,
// up, down. Returns how many were written to `out`.
inline int32_t neighbourList(int32_t p, int32_t x, int32_t y, int32_t width, int32_t height,
                             int32_t out[4]) {
  int32_t count = 0;
  if (x > 0) out[count++] = p - 1;
  if (x < width - 1) out[count++] = p + 1;
  if (y > 0) out[count++] = p - width;
  if (y < height - 1) out[count++] = p + width;
  return count;
}

// Passes in value order visit pixels scattered over the image. Asking for
// the map around the pixel a pass visits kPrefetchAhead visits later hides
// most of the wait for memory once the maps outgrow the caches. Only a hint:
// nothing is read, so no result depends on it.
constexpr int32_t kPrefetchAhead = 32;

// The cache lines of map[p] and of the pixels above and below it.
template <class T>
inline void prefetchRows(const T* map, int32_t p, int32_t width, int32_t pixelCount) {
  __builtin_prefetch(map + p);
  if (p >= width) __builtin_prefetch(map + (p - width));
  if (p < pixelCount - width) __builtin_prefetch(map + (p + width));
}

// The root of label l in a union-find of labels, halving the path on the way.
inline int32_t componentRoot(std::vector<int32_t>& parent, int32_t l) {
  while (parent[static_cast<size_t>(l)] != l) {
    parent[static_cast<size_t>(l)] = parent[static_cast<size_t>(parent[static_cast<size_t>(l)])];
    l = parent[static_cast<size_t>(l)];
  }
  return l;
}

// Labels the 4-connected components of the pixels p for which member(p)
// holds, where a pixel and its left or upper neighbour q are one component
// when joins(p, q) holds (both members), and writes 0 for the others. Two
// passes in index order: a member takes the label of its joined left or
// upper neighbour, the two labels are joined where both have one, and every
// member then takes its label's root. Returns the largest label given out;
// the labels that did not stay roots name no component.
template <class Member, class Joins>
int32_t labelComponents(int32_t width, int32_t height, Member member, Joins joins, int32_t* labels) {
  std::vector<int32_t> parent{0};
  for (int32_t y = 0; y < height; ++y) {
    const int64_t rowStart = static_cast<int64_t>(y) * width;
    for (int32_t x = 0; x < width; ++x) {
      const int64_t p = rowStart + x;
      int32_t label = 0;
      if (member(p)) {
        if (x > 0 && joins(p, p - 1)) label = labels[p - 1];
        if (y > 0 && joins(p, p - width)) {
          const int32_t up = componentRoot(parent, labels[p - width]);
          if (label == 0) {
            label = up;
          } else {
            const int32_t left = componentRoot(parent, label);
            parent[static_cast<size_t>(left > up ? left : up)] = left < up ? left : up;
          }
        }
        if (label == 0) {
          label = static_cast<int32_t>(parent.size());
          parent.push_back(label);
        }
      }
      labels[p] = label;
    }
  }
  const int64_t n = static_cast<int64_t>(width) * height;
  for (int64_t p = 0; p < n; ++p) {
    if (labels[p] != 0) labels[p] = componentRoot(parent, labels[p]);
  }
  return static_cast<int32_t>(parent.size()) - 1;
}

// Line stripping of row y, in index order: every pixel whose value v is
// picked by `picks` is replaced by `replacement` when it lies on a line one
// pixel wide of value v, that is when
//   (a) it is in an inner column and neither its left nor its right neighbour is v,
//   (b) it is in an inner row and neither its upper nor its lower neighbour is v, or
//   (c) it is in an inner column and row and neither upper-left nor lower-right
//       is v, or neither upper-right nor lower-left is v.
// Pixels replaced earlier no longer count as v, so the result depends on the
// visiting order. A pixel in an image corner is never tested; one on the left
// or right edge only against (b), one on the top or bottom edge only against
// (a). Returns whether any pixel changed.
template <class Picks>
bool stripRow(int32_t* map, int32_t width, int32_t height, int32_t y, Picks picks, int32_t replacement) {
  bool changed = false;
  int32_t* row = map + static_cast<int64_t>(y) * width;
  if (y == 0 || y == height - 1) {
    // First or last row: only the left-right test applies.
    for (int32_t x = 1; x < width - 1; ++x) {
      const int32_t v = row[x];
      if (!picks(v)) continue;
      if (row[x - 1] != v && row[x + 1] != v) {
        row[x] = replacement;
        changed = true;
      }
    }
    return changed;
  }
  const int32_t* above = row - width;
  const int32_t* below = row + width;
  // Left edge: only the up-down test.
  if (picks(row[0]) && above[0] != row[0] && below[0] != row[0]) {
    row[0] = replacement;
    changed = true;
  }
  for (int32_t x = 1; x < width - 1; ++x) {
    const int32_t v = row[x];
    if (!picks(v)) continue;
    const bool acrossRow = row[x - 1] != v && row[x + 1] != v;
    const bool acrossColumn = above[x] != v && below[x] != v;
    const bool acrossFalling = above[x - 1] != v && below[x + 1] != v;
    const bool acrossRising = above[x + 1] != v && below[x - 1] != v;
    if (acrossRow || acrossColumn || acrossFalling || acrossRising) {
      row[x] = replacement;
      changed = true;
    }
  }
  // Right edge (a one-column image has it tested above already).
  if (width > 1) {
    const int32_t x = width - 1;
    if (picks(row[x]) && above[x] != row[x] && below[x] != row[x]) {
      row[x] = replacement;
      changed = true;
    }
  }
  return changed;
}

// Passes of line stripping over the rows in order until a pass changes
// nothing. A row's stripping reads that row and the rows above and below
// it: a row that changed nothing, with those three rows unchanged since,
// would change nothing again, so a pass strips only the rows next to a
// change since their last stripping, and every pass leaves what a pass over
// every row would leave.
template <class Picks>
void stripLines(int32_t* map, int32_t width, int32_t height, Picks picks, int32_t replacement) {
  if (height < 1) return;
  std::vector<uint8_t> due(static_cast<size_t>(height) + 2, 1);  // row y at y + 1
  bool changed = true;
  while (changed) {
    changed = false;
    for (int32_t y = 0; y < height; ++y) {
      uint8_t* at = &due[static_cast<size_t>(y) + 1];
      if (*at == 0) continue;
      *at = 0;
      if (stripRow(map, width, height, y, picks, replacement)) {
        at[-1] = at[0] = at[1] = 1;
        changed = true;
      }
    }
  }
}

}  // namespace focustrack
