// TIFF reading shared by the slice decoder and the stack reader: files opened
// with handlers of their own (nothing is printed; the first library error is
// kept as the reason), and the decoding of the current page.
#pragma once

#include <memory>
#include <string>

#include <tiffio.h>

#include "io/decoders.h"

namespace focustrack {

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// Opens `path` for reading (classic TIFF or BigTIFF, either byte order); the
// first error text of the library goes to `*libraryError`, which must outlive
// the handle. Null when the file or its first directory cannot be read.
TiffHandle openTiffForReading(const std::string& path, std::string* libraryError);

// Decodes the current directory of `tif`: an 8-bit grey or palette page, or
// a 16-bit grey one when the request allows it, of exactly the requested
// size. `libraryError` is the text the file's handler kept, for the reason.
bool decodeTiffPage(TIFF* tif, const Request& request, const std::string& libraryError,
                    DecodedImage* image);

}  // namespace focustrack
