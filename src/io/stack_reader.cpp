#include "io/stack_reader.h"

#include <filesystem>
#include <system_error>

namespace focustrack {

bool TiffStack::open(const std::string& path, std::string* reason) {
  close();
  path_ = path;
  std::error_code ignored;
  if (!std::filesystem::exists(path, ignored)) {
    *reason = "file not found";
    return false;
  }
  tif_ = openTiffForReading(path, &libraryError_);
  if (!tif_) {
    *reason = "not a readable TIFF" + (libraryError_.empty() ? std::string() : ": " + libraryError_);
    return false;
  }
  // Counting walks the chain of page directories only, not the pixel data.
  const tdir_t pages = TIFFNumberOfDirectories(tif_.get());
  pageCount_ = pages > static_cast<tdir_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(pages);
  if (!TIFFSetDirectory(tif_.get(), 0)) {
    *reason = "cannot read the first page directory";
    close();
    return false;
  }
  char* text = nullptr;
  description_ = TIFFGetField(tif_.get(), TIFFTAG_IMAGEDESCRIPTION, &text) && text != nullptr ? text : "";
  TIFFGetField(tif_.get(), TIFFTAG_IMAGEWIDTH, &firstWidth_);
  TIFFGetField(tif_.get(), TIFFTAG_IMAGELENGTH, &firstHeight_);
  TIFFGetFieldDefaulted(tif_.get(), TIFFTAG_BITSPERSAMPLE, &firstBits_);
  float resolution = 0.0f;
  firstXResolution_ = TIFFGetField(tif_.get(), TIFFTAG_XRESOLUTION, &resolution) == 1 ? resolution : 0.0;
  return true;
}

void TiffStack::close() {
  tif_.reset();
  libraryError_.clear();
  description_.clear();
  pageCount_ = 0;
  firstWidth_ = 0;
  firstHeight_ = 0;
  firstBits_ = 0;
  firstXResolution_ = 0.0;
}

bool TiffStack::readPage(int32_t page, int32_t width, int32_t height, DecodedImage* image,
                         std::string* reason) {
  const std::string where = "page " + std::to_string(page + 1) + ": ";
  if (!tif_ || page < 0 || page >= pageCount_) {
    *reason = where + "not in the file (" + std::to_string(pageCount_) + " pages)";
    return false;
  }
  libraryError_.clear();
  if (!TIFFSetDirectory(tif_.get(), static_cast<tdir_t>(page))) {
    *reason = where + "cannot read its directory" +
              (libraryError_.empty() ? std::string() : ": " + libraryError_);
    return false;
  }
  std::string why;
  const Request request{width, height, &why, true};
  if (decodeTiffPage(tif_.get(), request, libraryError_, image)) return true;
  *reason = where + why;
  return false;
}

bool readStackLayout(const TiffStack& stack, int32_t plainSlices, StackLayout* layout,
                     std::string* reason) {
  const std::string& text = stack.description();
  const int32_t pages = stack.pageCount();
  if (isImageJDescription(text)) return parseImageJDescription(text, pages, layout, reason);
  if (isOmeDescription(text)) {
    const std::string name = std::filesystem::path(stack.path()).filename().string();
    if (!parseOmeDescription(text, name, pages, layout, reason)) return false;
    if (layout->width != static_cast<int32_t>(stack.firstWidth()) ||
        layout->height != static_cast<int32_t>(stack.firstHeight())) {
      *reason = "OME-XML says " + std::to_string(layout->width) + " x " + std::to_string(layout->height) +
                " pixels, the first page has " + std::to_string(stack.firstWidth()) + " x " +
                std::to_string(stack.firstHeight());
      return false;
    }
    return true;
  }
  const int32_t slices = plainSlices > 0 ? plainSlices : pages;
  if (slices < 1 || pages % slices != 0) {
    *reason = "the file has " + std::to_string(pages) + " pages, not a whole number of stacks of " +
              std::to_string(slices) + " slices";
    return false;
  }
  plainLayout(pages, slices, layout);
  return true;
}

}  // namespace focustrack
