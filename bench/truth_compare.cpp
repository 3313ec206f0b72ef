// Compares a focustrack run with the ground truth of a synthetic recording: how
// each true cell was found (whole, split, merged, missed), whether true tracks
// kept one found id, and how nuclei and vacuoles were counted in cells found whole.
//
// Usage: truth_compare TRUTH_DIR OUTPUT_DIR [--list]
//   TRUTH_DIR: truth.csv and truth_NNNN.tif (NNNN the frame number, 4 digits).
//   OUTPUT_DIR: _cells.csv and masks_NNNN.tif (NNNN the frame ordinal from 1) of a
//   run with --masks over the same frames. Label images hold 0 for the background,
//   else a track id. --list prints each true cell not found whole, with the found
//   id:pixels over it.
#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// A found cell covers a true cell substantially when their overlap holds at
// least this many tenths of the smaller of the two areas.
constexpr int64_t kSubstantialTenths = 3;

using Key = std::pair<int, int>;            // (frame, track id)
using Areas = std::map<uint32_t, int64_t>;  // label -> pixels
using Overlaps = std::map<uint32_t, Areas>;  // label -> label of the other image -> pixels

struct Labels {
  uint32_t width = 0, height = 0;
  std::vector<uint32_t> values;
};

struct Facts { int parent = 0, hasNucleus = 0, vacuoles = 0; };

enum Outcome { kWhole, kSplit, kMerged, kMissed, kOutcomes };
const char* const kOutcomeNames[kOutcomes] = {"whole", "split", "merged", "missed"};

struct TrackSeen {
  int frames = 0;
  bool atBorder = false;
  std::vector<uint32_t> foundIds;  // per frame, the mask value over most of the cell
};

struct Tally {
  int cells[kOutcomes] = {};
  int withoutRow = 0, withRow = 0;
  int nucleiFound = 0, nucleiMissed = 0, nucleiInvented = 0, withoutNucleus = 0;
  int vacTrue = 0, vacFound = 0, vacExact = 0, vacMin = 0, vacMissed = 0, vacInvented = 0;
};

std::string numbered(const std::string& folder, const char* stem, int number) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%04d", number);
  return folder + "/" + stem + digits + ".tif";
}

// Reads a single-channel 16- or 32-bit unsigned label image.
bool readLabels(const std::string& path, Labels* image, std::string* why) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return *why = "cannot open '" + path + "'", false;
  uint16_t bits = 0, channels = 1;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &image->width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &image->height);
  TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &channels);
  bool ok = channels == 1 && (bits == 16 || bits == 32);
  if (!ok) *why = "'" + path + "' is not a 16- or 32-bit label image";
  std::vector<unsigned char> row(ok ? TIFFScanlineSize(tif) : 0);
  image->values.assign(size_t(image->width) * image->height, 0);
  for (uint32_t y = 0; ok && y < image->height; ++y) {
    ok = TIFFReadScanline(tif, row.data(), y) == 1;
    if (!ok) *why = "cannot read '" + path + "'";
    uint32_t* out = image->values.data() + size_t(y) * image->width;
    for (uint32_t x = 0; ok && x < image->width; ++x) {
      uint16_t narrow;
      if (bits == 32) std::memcpy(&out[x], &row[4 * size_t(x)], 4);
      if (bits == 16) std::memcpy(&narrow, &row[2 * size_t(x)], 2), out[x] = narrow;
    }
  }
  TIFFClose(tif);
  return ok;
}

std::vector<std::string> splitFields(const std::string& line, const std::string& separator) {
  std::vector<std::string> fields;
  for (size_t start = 0;;) {
    const size_t end = line.find(separator, start);
    fields.push_back(line.substr(start, end - start));
    if (end == std::string::npos) return fields;
    start = end + separator.size();
  }
}

// Reads a table's frame, id, parent (skipped when names[2] is empty), nucleus
// and vacuole columns, found by their header names, into facts by (frame, id).
bool readFacts(const std::string& path, const std::string& separator, const char* const names[5],
               std::map<Key, Facts>* facts, std::string* why) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return *why = "cannot open '" + path + "'", false;
  std::vector<std::vector<std::string>> rows;
  std::string line;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
    if (c == '\n') rows.push_back(splitFields(line, separator)), line.clear();
    if (c != '\n' && c != '\r') line += char(c);
  }
  std::fclose(file);
  size_t at[5] = {};
  for (int k = 0; k < 5; ++k) {
    while (!rows.empty() && at[k] < rows[0].size() && rows[0][at[k]] != names[k]) ++at[k];
    if (rows.empty() || at[k] == rows[0].size()) return *why = path + " lacks " + names[k], false;
  }
  auto number = [&](const std::vector<std::string>& row, int k) { return std::atoi(row[at[k]].c_str()); };
  for (size_t r = 1; r < rows.size(); ++r) {
    if (rows[r].size() < rows[0].size()) continue;
    Facts& f = (*facts)[{number(rows[r], 0), number(rows[r], 1)}];
    f = Facts{names[2][0] != '\0' ? number(rows[r], 2) : 0, number(rows[r], 3), number(rows[r], 4)};
  }
  return true;
}

bool substantial(int64_t overlap, int64_t a, int64_t b) {
  return overlap * 10 >= kSubstantialTenths * (a < b ? a : b);
}

// The found cells that cover true cell t substantially.
std::vector<uint32_t> coverers(uint32_t t, const Overlaps& byTrue, const Areas& trueArea,
                               const Areas& foundArea) {
  std::vector<uint32_t> found;
  for (const auto& [f, pixels] : byTrue.at(t))
    if (f != 0 && substantial(pixels, trueArea.at(t), foundArea.at(f))) found.push_back(f);
  return found;
}

// The first true cell other than t that found cell f covers substantially, or 0.
uint32_t otherCovered(uint32_t f, uint32_t t, const Overlaps& byFound, const Areas& trueArea,
                      const Areas& foundArea) {
  for (const auto& [other, pixels] : byFound.at(f))
    if (other != 0 && other != t && substantial(pixels, trueArea.at(other), foundArea.at(f))) return other;
  return 0;
}

// The label with the most pixels; ties keep the smaller label.
uint32_t majority(const Areas& over) {
  uint32_t best = 0;
  int64_t most = -1;
  for (const auto& [f, pixels] : over)
    if (pixels > most) best = f, most = pixels;
  return best;
}

void countContents(const Facts& truth, const Facts& found, Tally* t) {
  t->withRow += 1;
  if (truth.hasNucleus) (found.hasNucleus ? t->nucleiFound : t->nucleiMissed) += 1;
  if (!truth.hasNucleus) t->withoutNucleus += 1, t->nucleiInvented += found.hasNucleus;
  t->vacTrue += truth.vacuoles;
  t->vacFound += found.vacuoles;
  t->vacExact += truth.vacuoles == found.vacuoles;
  t->vacMin += std::min(truth.vacuoles, found.vacuoles);
  t->vacMissed += std::max(truth.vacuoles - found.vacuoles, 0);
  t->vacInvented += std::max(found.vacuoles - truth.vacuoles, 0);
}

void listCase(int frame, uint32_t t, Outcome outcome, const Facts& facts, const Areas& over,
              int64_t area, uint32_t other) {
  std::printf("  frame %d track %u (parent %d, %lld px): %s; found id:pixels", frame, t,
              facts.parent, static_cast<long long>(area), kOutcomeNames[outcome]);
  for (const auto& [f, pixels] : over) std::printf(" %u:%lld", f, static_cast<long long>(pixels));
  if (other != 0) std::printf("; its found cell also covers track %u", other);
  std::printf("\n");
}

// Classifies the true cells of one frame and counts the contents of those
// found whole.
void compareFrame(int frame, const Labels& truth, const Labels& masks,
                  const std::map<Key, Facts>& truthFacts, const std::map<Key, Facts>& foundFacts,
                  bool list, std::map<uint32_t, TrackSeen>* tracks, Tally* tally) {
  Areas trueArea, foundArea;
  Overlaps byTrue, byFound;
  std::map<uint32_t, bool> atBorder;
  for (uint32_t y = 0; y < truth.height; ++y) {
    for (uint32_t x = 0; x < truth.width; ++x) {
      const size_t p = size_t(y) * truth.width + x;
      const uint32_t t = truth.values[p], f = masks.values[p];
      trueArea[t] += 1, foundArea[f] += 1, byTrue[t][f] += 1, byFound[f][t] += 1;
      if (x == 0 || y == 0 || x + 1 == truth.width || y + 1 == truth.height) atBorder[t] = true;
    }
  }
  for (const auto& [t, area] : trueArea) {
    if (t == 0) continue;
    TrackSeen& seen = (*tracks)[t];
    seen.frames += 1;
    seen.atBorder = seen.atBorder || atBorder[t];
    seen.foundIds.push_back(majority(byTrue[t]));
    if (atBorder[t]) continue;
    const std::vector<uint32_t> found = coverers(t, byTrue, trueArea, foundArea);
    const uint32_t other = found.size() == 1 ? otherCovered(found[0], t, byFound, trueArea, foundArea) : 0;
    const Outcome outcome = found.empty() ? kMissed : found.size() > 1 ? kSplit : other ? kMerged : kWhole;
    tally->cells[outcome] += 1;
    const auto truthRow = truthFacts.find({frame, int(t)});
    const Facts facts = truthRow == truthFacts.end() ? Facts{} : truthRow->second;
    if (list && outcome != kWhole) listCase(frame, t, outcome, facts, byTrue[t], area, other);
    if (outcome != kWhole) continue;
    const auto foundRow = foundFacts.find({frame, int(seen.foundIds.back())});
    if (foundRow == foundFacts.end()) tally->withoutRow += 1;
    if (foundRow != foundFacts.end()) countContents(facts, foundRow->second, tally);
  }
}

void printCells(const char* label, const int* before, const int* after) {
  int c[kOutcomes];
  for (int o = 0; o < kOutcomes; ++o) c[o] = after[o] - before[o];
  std::printf("%6s %6d %6d %6d %6d %6d\n", label, c[0] + c[1] + c[2] + c[3], c[0], c[1], c[2], c[3]);
}

void printTracks(const std::map<uint32_t, TrackSeen>& tracks, int frameCount) {
  int considered = 0, kept = 0, background = 0;
  for (const auto& [t, seen] : tracks) {
    if (seen.frames != frameCount || seen.atBorder) continue;
    considered += 1;
    bool same = true, lost = false;
    for (uint32_t f : seen.foundIds) same = same && f == seen.foundIds[0], lost = lost || f == 0;
    kept += same && !lost;
    background += lost;
  }
  std::printf("\nTracks in all %d frames, never at the border: %d\n", frameCount, considered);
  std::printf("  kept one found id: %d; changed id: %d (%d of them mostly on background in a frame)\n",
              kept, considered - kept, background);
}

void printContents(const Tally& t) {
  std::printf("\nCells found whole with a table row: %d (%d more without one: their found id is a"
              " cell at the border, or background)\n", t.withRow, t.withoutRow);
  std::printf("Nuclei: true %d: found %d, missed %d; invented %d (in %d cells without one)\n",
              t.nucleiFound + t.nucleiMissed, t.nucleiFound, t.nucleiMissed, t.nucleiInvented,
              t.withoutNucleus);
  std::printf("Vacuoles: true sum %d, found sum %d, exact count in %d of %d cells\n", t.vacTrue,
              t.vacFound, t.vacExact, t.withRow);
  std::printf("  per cell: found %d (min of true and found), missed %d (shortfall), invented %d"
              " (excess)\n", t.vacMin, t.vacMissed, t.vacInvented);
}

const char* const kRules =
    "A found cell covers a true cell substantially when their overlap is at least %lld%% of the smaller\n"
    "of the two areas. True cells: those with no pixel in the first or last row or column. whole:\n"
    "exactly one found cell covers it and that cell covers no other true cell; split: two or more\n"
    "found cells cover it; merged: its one found cell also covers another true cell (one at the border\n"
    "included); missed: no found cell covers it. The found id of a true cell is the mask value over\n"
    "most of its pixels; its table row is the one of that id.\n\n";

}  // namespace

int main(int argc, char** argv) {
  const bool list = argc == 4 && std::string(argv[3]) == "--list";
  if (argc != 3 && !list) {
    std::fprintf(stderr, "usage: truth_compare TRUTH_DIR OUTPUT_DIR [--list]\n");
    return 2;
  }
  const std::string truthDir = argv[1], outDir = argv[2];
  const char* const truthNames[5] = {"frame", "track_id", "parent_id", "has_nucleus", "vacuole_count"};
  const char* const foundNames[5] = {"Frame", "Id", "", "Has Nuclei", "Vacuole Count"};
  std::map<Key, Facts> truthFacts, foundFacts;
  std::string why;
  if (!readFacts(truthDir + "/truth.csv", ",", truthNames, &truthFacts, &why) ||
      !readFacts(outDir + "/_cells.csv", ", ", foundNames, &foundFacts, &why)) {
    std::fprintf(stderr, "truth_compare: %s\n", why.c_str());
    return 1;
  }
  std::vector<int> frames;  // in ascending order, as the map keeps them
  for (const auto& [key, facts] : truthFacts)
    if (frames.empty() || frames.back() != key.first) frames.push_back(key.first);
  std::printf(kRules, static_cast<long long>(kSubstantialTenths * 10));
  std::printf("%6s %6s %6s %6s %6s %6s\n", "frame", "true", "whole", "split", "merged", "missed");
  std::map<uint32_t, TrackSeen> tracks;
  Tally total;
  for (size_t k = 0; k < frames.size(); ++k) {
    Labels truth, masks;
    bool ok = readLabels(numbered(truthDir, "truth_", frames[k]), &truth, &why) &&
              readLabels(numbered(outDir, "masks_", int(k) + 1), &masks, &why);
    const bool sameSize = truth.width == masks.width && truth.height == masks.height;
    if (ok && !sameSize) ok = false, why = "truth and mask sizes differ";
    if (!ok) {
      std::fprintf(stderr, "truth_compare: frame %d: %s\n", frames[k], why.c_str());
      return 1;
    }
    int before[kOutcomes];
    std::memcpy(before, total.cells, sizeof before);
    compareFrame(frames[k], truth, masks, truthFacts, foundFacts, list, &tracks, &total);
    printCells(std::to_string(frames[k]).c_str(), before, total.cells);
  }
  printCells("total", Tally{}.cells, total.cells);
  printTracks(tracks, int(frames.size()));
  printContents(total);
  return 0;
}
