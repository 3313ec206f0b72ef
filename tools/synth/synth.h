// focustrack-synth: synthetic bright-field recordings with ground truth.
// A recording is a series of frames, each a through-focus stack of 8-bit grey
// slices named like the analyser's input; the truth of every frame is a
// 16-bit label image (0 background, otherwise the cell's track id) plus one
// table row per cell and frame in truth.csv.
#pragma once

#include <cstdint>
#include <string>

namespace focustrack {

// How the slices are written: one TIFF per slice, one multi-page TIFF per
// frame, or the whole recording in one ImageJ hyperstack or OME-TIFF.
enum class SynthFormat { Slices, FrameTiff, ImageJ, Ome };

struct SynthOptions {
  int32_t width = 960;        // "-w"
  int32_t height = 720;       // "-h"
  int32_t sliceCount = 16;    // "-sc"
  int32_t frameCount = 5;     // "-c"
  std::string pathPattern;    // "-p": "%0" frame number, "%1" slice number
  int32_t firstFrame = 1;     // "-fs"
  int32_t frameDigits = 4;    // "-fl"
  int32_t firstSlice = 1;     // "-ss"
  int32_t sliceDigits = 3;    // "-sl"
  int32_t cellCount = -1;     // "--cells": -1 means one per kPixelsPerCell pixels
  uint64_t seed = 1;          // "--seed"
  double noise = 2.0;         // "--noise": grey-level noise sigma
  std::string truthFolder;    // "--truth": empty means the slice pattern's folder
  SynthFormat format = SynthFormat::Slices;  // "--format"
  int32_t bits = 8;           // "--bits": 16 writes every grey value times 257
  int32_t channels = 1;       // "--channels": channels per slice in a stack file
  int32_t brightChannel = 1;  // "--channel": the bright-field one; the others hold its negative
  int32_t trapPairs = 0;      // "--traps": pillar pairs of a trap device
  // Physical units an ImageJ or OME-TIFF file records (0: none).
  double pixelSize = 0.0;     // "--pixel-size": microns per pixel
  double interval = 0.0;      // "--interval": minutes between frames
};

// One cell per this many pixels when no cell count is given.
constexpr int32_t kPixelsPerCell = 9000;

// The cell count a recording uses: the given one, or scaled to the area
// (at least 1).
int32_t effectiveCellCount(const SynthOptions& options);

// The folder of the truth files: the given one, or the folder of the slice
// pattern without any part that holds a placeholder ("" for the current
// folder): "run/t%0_z%1.tif" and "run/%0/z%1.tif" both give "run".
std::string effectiveTruthFolder(const SynthOptions& options);

// The truth label image of a frame: truth_<frame padded like the slices>.tif.
std::string truthImagePath(const SynthOptions& options, int32_t frame);
std::string truthTablePath(const SynthOptions& options);
// The trap device of a recording with --traps: device.tif in the truth folder.
std::string deviceMaskPath(const SynthOptions& options);

// Writes every slice, truth image and the truth table, creating missing
// folders. The same options give the same files, byte for byte. Returns false
// with a reason naming the file when something cannot be written.
bool generateRecording(const SynthOptions& options, std::string* error);

}  // namespace focustrack
