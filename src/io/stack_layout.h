// Stacks in one file: how the pages of a multi-page TIFF hold the planes of a
// recording. A plane is one image of one channel at one focal slice and one
// time point; acquisition programs describe the arrangement in the first
// page's ImageDescription, as an ImageJ hyperstack ("ImageJ=...", channels,
// slices and frames, channel fastest) or as OME-XML (sizes, DimensionOrder
// and the TiffData elements that map planes to pages).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace focustrack {

struct StackLayout {
  std::string kind;      // "ImageJ hyperstack", "OME-TIFF" or "multi-page TIFF"
  int32_t channels = 1;
  int32_t slices = 1;
  int32_t frames = 1;
  // Size and sample depth the description states; 0 when it states none.
  int32_t width = 0;
  int32_t height = 0;
  int32_t bits = 0;
  // The page of every plane, indexed channel + channels x (slice + slices x frame).
  std::vector<int32_t> pages;
};

// The page that holds channel c, slice z, time point t (all from 0).
int32_t pageOf(const StackLayout& layout, int32_t channel, int32_t slice, int32_t frame);

// True when the description is an ImageJ one ("ImageJ=" on its first line).
bool isImageJDescription(const std::string& description);
// True when the description holds OME-XML (an element named OME).
bool isOmeDescription(const std::string& description);

// The "key=value" lines of an ImageJ description; later lines win, as
// ImageJ reads them, and trailing blanks are dropped.
std::map<std::string, std::string> imageJKeyValues(const std::string& text);

// An ImageJ description of a file of `pageCount` pages: images, channels,
// slices and frames (a missing count is 1; a description with none of the
// three counts holds `images` slices). False with a reason when a value is
// not a positive whole number, the counts do not multiply to `images`, or
// `images` differs from the page count.
bool parseImageJDescription(const std::string& description, int32_t pageCount,
                            StackLayout* layout, std::string* reason);

// OME-XML of the file named `fileName` (its name without folders), which has
// `pageCount` pages: the first Image's Pixels element (SizeX, SizeY, SizeC,
// SizeZ, SizeT, DimensionOrder, Type uint8 or uint16) and its TiffData
// elements. False with a reason when the text does not parse, an attribute is
// missing or wrong, a plane lies in another file, or a plane has no page of
// this file.
bool parseOmeDescription(const std::string& description, const std::string& fileName,
                         int32_t pageCount, StackLayout* layout, std::string* reason);

// A multi-page TIFF without a description the program knows: `slices`
// slices per time point, pages in slice order, then time.
void plainLayout(int32_t pageCount, int32_t slices, StackLayout* layout);

}  // namespace focustrack
