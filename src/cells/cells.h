// Cells: from classified pixels to numbered, linked and measured cells.
// Words: a seed is a pixel of cell material (a positive core or a margin
// attached to one); a region is a union-find set of pixels grown from seeds
// in descending delta order; a cell is a region of at least 200 pixels,
// numbered from 1 per frame; the label map (classMap storage) holds region
// numbers while growing and cell numbers at the end. A link joins a cell of
// the previous frame with a cell of this one; a track id follows a cell
// through its links. The frame loop runs buildCells, linkCells,
// mergeFragments, completeCells and adjustCells in that order.
#pragma once

#include "frame/frame_buffers.h"
#include "frame/settings.h"

namespace focustrack {

// Cell building. Needs classMap holding the pixel classes and sortedPixels in
// ascending delta order. Writes the label map (classMap storage: cell number
// per pixel, 0 for none), regionTable, regionCount, currentCells records
// 1..nextCellNumber-1 (area 0, trackId = own number, linkCount 0, partner 0)
// and nextCellNumber; cellMap storage is the seed scratch. The region table
// and currentCells grow as the frame needs; only when memory runs out does
// it stop opening regions or cells, and it sets capacityNote.
void buildCells(const RunSettings& settings, FrameBuffers& buffers);

// Frame-to-frame linking: provisional partners between the cells of the
// previous and the current frame, from how many pixels of either cell find
// the other cell as the nearest cell pixel within radius 10 in the other
// frame. Needs the label map of buildCells (current cell per pixel, 0 for
// none), previousCellMap, previousCells, previousCellNumberEnd and the disk
// offsets. Skipped when there is no previous frame (previousCellNumberEnd 0).
// Writes the pair counts of the C x P pair area (index prev x C + cur;
// kLinked, kRejected; linkPairCounts grows to hold it), linkCandidates, and
// linkCount and partner of both tables. When the pair area cannot grow it
// sets linkingSkipped and capacityNote, and the frame's cells get no links.
void linkCells(const RunSettings& settings, FrameBuffers& buffers);

// Fragment merging and final links: touching current cells that were given
// the same previous cell are fragments of one cell; the links surviving the
// merge are recorded, and a current cell keeps a partner only on a one-to-one
// link. Needs the label map and the provisional partners of linkCells,
// sortedPixels and previousCells. The trackId field of currentCells serves as
// the cells' union-find parent. Writes the label map (root cell numbers;
// merged-away cells own no pixel), trackId (parents), linkCount and partner
// of both tables, and appends one LinkRecord per final link (trackId left 0)
// when there is a previous frame.
void mergeFragments(const RunSettings& settings, FrameBuffers& buffers);

// Hole filling, protrusion removal, the final cell map, track ids and the
// measurement of every cell. Needs the relabelled label map of
// mergeFragments, sortedPixels, deltaMap, the partners left by the final
// links and previousCells (trackId only). Fills background holes that border
// a single cell, strips one-pixel-wide protrusions, and writes cellMap (cell
// number, -1 elsewhere), cellPixels (each cell's pixels in descending delta
// order), cellPixelTotal, nextTrackId and, for cells 1..nextCellNumber-1,
// trackId, box, delta range, pixelStart, area, perimeter, excluded and zeroed
// analysis fields. The label map ends holding the same values as cellMap.
void completeCells(const RunSettings& settings, FrameBuffers& buffers);

// Per-cell rescaling of the delta values to 0..1 and the cell's elongation:
// the cell's width across 60 directions 3 degrees apart, measured from the
// line through its box centre, and the ratio of the largest to the smallest.
// Needs the records, cellPixels and deltaMap of completeCells. Rewrites
// deltaMap inside every cell to (value - deltaMin) / range (0/0, not a
// number, when a cell's values are all equal) and writes aspect of cells
// 1..nextCellNumber-1 (0/0 for an empty cell). Uses scratchA and scratchB of
// angleTable entries 0..59 as accumulators.
void adjustCells(const RunSettings& settings, FrameBuffers& buffers);

// Cells kept out of the tables: a cell with at least half of its pixels on
// deviceMask (when one was given), or outside the area or circularity limits
// of the settings, is marked excluded like a cell on the image border. Needs
// the records and cellPixels of completeCells; runs before the content
// analysis, so such a cell gets none. Does nothing when no filter is set.
void excludeFilteredCells(const RunSettings& settings, FrameBuffers& buffers);

// A cell's movement: the distance between the centre of its bounding box and
// that of its linked previous cell, from this frame's link records. Needs the
// records of completeCells and the link records of mergeFragments; writes
// moveDistance of every cell (0 without a link) and turns the cell numbers of
// this frame's link records into the pixel indices of the box centres, which
// the result image draws the tracks from.
void measureMovement(FrameBuffers& buffers);

}  // namespace focustrack
