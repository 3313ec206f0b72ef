// Proposing a device mask for a trap recording from a run's label masks:
// the trap's pillars are objects that stay in place and keep their size from
// frame to frame, while cells grow, bud and drift. The proposal is a starting
// point the user checks and edits in any image editor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace focustrack {

// One label image: 0 background, otherwise an object's id.
struct LabelMap {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> labels;
};

struct ProposalRules {
  double sameObject = 0.97; // least overlap / union of an object with its match in every later frame
  double sizeChange = 0.015;// largest relative area change from the first frame to the last
  int32_t grow = 4;         // pixels the proposed objects are widened by, taking in their halo
};

// Objects of the first frame that every later frame shows in the same place
// with the same size, united over all frames and widened by `grow` pixels
// (a square neighbourhood). Returns 255 on the device, 0 elsewhere; all
// frames must have one size.
// With `report`, one line per object of the first frame: its id, area, the
// worst overlap / union over the later frames, the area change and whether
// it was taken.
std::vector<uint8_t> proposeDeviceMask(const std::vector<LabelMap>& frames, const ProposalRules& rules,
                                       std::string* report = nullptr);

// Reads an 8-, 16- or 32-bit single-channel label TIFF. False with a reason.
bool readLabelMap(const std::string& path, LabelMap* image, std::string* reason);

}  // namespace focustrack
