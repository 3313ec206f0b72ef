// The loop over frames: each frame is loaded, passed through every stage of
// the stage table, written out, and handed over to the next frame as its
// previous frame.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "app/manifest.h"
#include "app/stack_input.h"
#include "app/stage_log.h"
#include "frame/frame_buffers.h"
#include "frame/settings.h"
#include "output/lineage.h"
#include "output/mask_stack.h"
#include "output/result_image.h"
#include "output/tables.h"

namespace focustrack {

// Everything one run holds besides its settings.
struct Run {
  const RunSettings& settings;
  StageLog& log;
  FrameBuffers& buffers;
  TableFiles& tables;
  Lineage& lineage;
  ResultCanvas& canvas;
  RunRecord& record;
  std::vector<uint32_t>& maskScratch;
  StackInput& input;
  MaskStack& maskStack;
  CoreCensus censusSoFar{};     // core census of the frames analysed so far
  bool orderHintGiven = false;  // the reverse-order hint is given once per run
};

// The two halves of a frame; false abandons the frame (no output, no
// hand-over, no frame line). prepareFrame loads the stack of the frame that
// run.buffers names and runs the input stages; completeFrame runs the cell
// and content stages, writes the output, hands the frame over and prints its
// frame line.
bool prepareFrame(Run& run);
bool completeFrame(Run& run);

// prepareFrame in its two steps: the frame's lines up to "Image Loaded" with
// the loading, which alone reads the input, then the input stages.
bool loadFrame(Run& run);
bool runInputStages(Run& run);

// The frames of the run, in order, with the progress line on `err`. A frame
// that cannot be completed writes nothing and is not handed over; once the
// log has raised an error no further frame starts. Sets the record's stop
// reason when the frames ran out.
void runFrames(Run& run, FILE* err);

}  // namespace focustrack
