// The straightforward fits, step by step: every ray walked by marchRay, every
// direction walked even after a rejection, the mean pass run for every
// surviving candidate, every score computed in full. The stages replay traced
// ray paths and skip work whose outcome is already decided; their results
// must agree with these byte for byte.
#pragma once

#include <cmath>
#include <cstdint>

#include "contents/ray_march.h"
#include "frame/frame_buffers.h"
#include "frame/settings.h"

namespace focustrack {

namespace contents_test {

inline double clampUnit(double x) { return x < 0 ? 0 : (x > 1 ? 1 : x); }

inline double atLeastZero(double x) { return x < 0 ? 0 : x; }

inline void straightFitNuclei(const RunSettings& settings, FrameBuffers& b) {
  AngleEntry* angles = b.angleTable.data();
  int32_t* edge = b.edgeMap();
  const double* delta = b.deltaMap.data();
  for (int32_t i = 0; i < b.candidateCount; ++i) {
    const int32_t p = b.candidatePixels()[i];
    const int32_t c = b.cellMap[p];
    const int32_t s = b.blobTable[b.blobMap()[p]].seedPixel;
    const double level = delta[p];
    const double seedValue = delta[s];
    const int32_t innerStamp = i;
    const int32_t outerStamp = i + b.candidateCount + 10;
    bool rejected = false;
    for (int32_t k = 0; k < 120; ++k) {
      edge[s] = innerStamp;
      double runningMin = seedValue;
      bool inner = true;
      const bool stopped = marchRay(angles[k], s, b.width, 16.0, [&](int32_t q, double d) {
        if (edge[q] == -2) {
          rejected = true;
          return false;
        }
        const double v = delta[q];
        if (inner) {
          if (v < level || v > runningMin + 0.1) {
            angles[k].scratchB = d;
            inner = false;
          } else {
            edge[q] = innerStamp;
            if (v < runningMin) runningMin = v;
            return true;
          }
        }
        if (v < level - 0.2 || v > runningMin + settings.riseTolerance) {
          angles[k].scratchA = d;
          return false;
        }
        edge[q] = outerStamp;
        if (v < runningMin) runningMin = v;
        return true;
      });
      if (!stopped) {
        if (inner) angles[k].scratchB = 16.0;
        angles[k].scratchA = 16.0;
      }
    }
    if (rejected) continue;
    smoothOutline(angles, &AngleEntry::scratchB, &AngleEntry::scratchD);
    const OutlineMeasures in = measureOutline(angles, &AngleEntry::scratchD);
    smoothOutline(angles, &AngleEntry::scratchA, &AngleEntry::scratchC);
    const OutlineMeasures out = measureOutline(angles, &AngleEntry::scratchC);
    const CellRecord& cell = b.currentCells[c];
    double innerSum = 0.0, outerSum = 0.0;
    int32_t innerCount = 0, outerCount = 0;
    for (int32_t j = cell.pixelStart; j < cell.pixelStart + cell.area; ++j) {
      const int32_t q = b.cellPixels[j];
      if (edge[q] == innerStamp) {
        innerSum += delta[q];
        ++innerCount;
      }
      if (edge[q] == outerStamp) {
        outerSum += delta[q];
        ++outerCount;
      }
    }
    if (outerCount == 0) continue;
    const double innerMean = innerSum / innerCount;
    const double outerMean = outerSum / outerCount;
    const double f1 = clampUnit((1 - in.area / out.area - 0.3) / 0.4);
    const double f2 = clampUnit((in.circularity - 0.85) / 0.15);
    const double f3 = clampUnit((out.circularity - 0.6) * 4.0);
    const double f4 = clampUnit((std::sqrt(out.area) + 12.0) / 24.0);
    const double f5 = clampUnit((innerMean - outerMean + 0.2) / 0.4);
    const double f6 = clampUnit((std::sqrt(in.area) + 5.5) / 11.0);
    const double score = f2 * f1 * f3 * f4 * f5 * f6;
    CellRecord& target = b.currentCells[c];
    if (score > target.nucleusValue) {
      target.nucleusValue = score;
      target.nucleusArea = out.area;
      target.nucleoliArea = in.area;
      target.nucleusCentre = s;
      for (int32_t k = 0; k <= 120; ++k) target.nucleusRadius[k] = angles[k].scratchC;
    }
  }
}

inline void straightFitVacuoles(FrameBuffers& b) {
  AngleEntry* angles = b.angleTable.data();
  const int32_t* edge = b.edgeMap();
  const double* delta = b.deltaMap.data();
  const int32_t w = b.width;
  const int32_t h = b.height;
  for (int32_t i = 0; i < b.candidateCount; ++i) {
    const int32_t p = b.candidatePixels()[i];
    BlobRecord& blob = b.blobTable[b.blobMap()[p]];
    const int32_t s = blob.seedPixel;
    const double level = delta[p];
    const double seedValue = delta[s];
    bool rejected = false;
    for (int32_t k = 0; k < 120; ++k) {
      double runningMax = seedValue;
      const bool stopped = marchRay(angles[k], s, w, 16.0, [&](int32_t q, double d) {
        const double v = delta[q];
        if (edge[q] == -2 || v < seedValue) {
          rejected = true;
          return false;
        }
        if (v > level || v < runningMax - 0.1) {
          angles[k].scratchB = d;
          return false;
        }
        if (v > runningMax) runningMax = v;
        return true;
      });
      if (!stopped) angles[k].scratchB = 16.0;
    }
    if (rejected) continue;
    smoothOutline(angles, &AngleEntry::scratchB, &AngleEntry::scratchD);
    const double circularity = measureOutline(angles, &AngleEntry::scratchD).circularity;
    const double sx = s % w;
    const double sy = s / w;
    double minX = w, minY = h, maxX = 0, maxY = 0;
    for (int32_t k = 0; k < 120; ++k) {
      const double x = angles[k].scratchD * angles[k].cosK + sx;
      const double y = angles[k].scratchD * angles[k].sinK + sy;
      if (x < minX) minX = x;
      if (y < minY) minY = y;
      if (x > maxX) maxX = x;
      if (y > maxY) maxY = y;
    }
    const double cx = (maxX + minX) * 0.5;
    const double cy = (maxY + minY) * 0.5;
    double radiusSum = 0.0;
    for (int32_t k = 0; k < 120; ++k) {
      const double x = angles[k].scratchD * angles[k].cosK + sx;
      const double y = angles[k].scratchD * angles[k].sinK + sy;
      radiusSum += std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy));
    }
    const double meanRadius = radiusSum / 120.0;
    double ringSum = 0.0;
    for (int32_t k = 0; k < 120; ++k) {
      int32_t col = static_cast<int32_t>(meanRadius * angles[k].cosK + cx + 0.5);
      int32_t row = static_cast<int32_t>(meanRadius * angles[k].sinK + cy + 0.5);
      col = col < 0 ? 0 : (col > w - 1 ? w - 1 : col);
      row = row < 0 ? 0 : (row > h - 1 ? h - 1 : row);
      ringSum += delta[row * w + col];
    }
    const double ringMean = ringSum / 120.0;
    const double a = atLeastZero(meanRadius - 2.0);
    const double circ = atLeastZero(circularity - 0.95);
    const double contrast = atLeastZero(ringMean - seedValue - 0.2);
    const double score = circ * a * contrast;
    if (score > blob.vacuoleScore) {
      blob.vacuoleScore = score;
      blob.vacuoleCentre = s;
      blob.vacuoleArea = meanRadius * meanRadius * 3.1415927;
      for (int32_t k = 0; k < 120; ++k) b.vacuoleOutlines[b.blobMap()[p]].radius[k] = angles[k].scratchD;
    }
  }
}

}  // namespace contents_test

}  // namespace focustrack
