#include "io/decoders.h"

#include <csetjmp>
#include <cstring>

// jpeglib.h uses FILE and size_t without including their headers.
#include <jpeglib.h>

namespace focustrack {

namespace {

// libjpeg reports errors by a long jump back into runJpegDecoder; the state
// that must survive the jump lives here.
struct JpegSession {
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  std::jmp_buf jump;
  std::string message;  // first error or corrupt-data warning
  bool created = false;
  ~JpegSession() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

void keepFirstJpegMessage(j_common_ptr common) {
  auto* session = static_cast<JpegSession*>(common->client_data);
  if (!session->message.empty()) return;
  char text[JMSG_LENGTH_MAX];
  (*common->err->format_message)(common, text);
  session->message = text;
}

void jpegErrorExit(j_common_ptr common) {
  keepFirstJpegMessage(common);
  std::longjmp(static_cast<JpegSession*>(common->client_data)->jump, 1);
}

// Level -1 is a warning about corrupt data (a truncated file decodes to a
// padded image with only a warning); it fails the load. Higher levels are
// trace messages.
void jpegEmitMessage(j_common_ptr common, int level) {
  if (level < 0) keepFirstJpegMessage(common);
}

bool acceptJpegHeader(const jpeg_decompress_struct& info, const Request& request) {
  if (info.num_components != 1) {
    return failDepth(request, std::to_string(info.num_components) + "-channel colour JPEG");
  }
  if (info.data_precision != 8) {
    return failDepth(request, std::to_string(info.data_precision) + "-bit grey JPEG");
  }
  return checkSize(info.image_width, info.image_height, request);
}

void readJpegRows(jpeg_decompress_struct* info, const DecodedImage& image) {
  while (info->output_scanline < info->output_height) {
    JSAMPROW row = const_cast<JSAMPROW>(image.top) +
                   static_cast<ptrdiff_t>(info->output_scanline) * image.pitch;
    jpeg_read_scanlines(info, &row, 1);
  }
}

// Holds no object with a destructor: a libjpeg error jumps straight back to
// the setjmp below.
bool runJpegDecoder(const std::vector<uint8_t>* bytes, JpegSession* session, const Request* request,
                    DecodedImage* image) {
  if (setjmp(session->jump)) return false;
  jpeg_create_decompress(&session->info);
  session->created = true;
  jpeg_mem_src(&session->info, bytes->data(), static_cast<unsigned long>(bytes->size()));
  jpeg_read_header(&session->info, TRUE);
  if (!acceptJpegHeader(session->info, *request)) return false;
  session->info.out_color_space = JCS_GRAYSCALE;
  jpeg_start_decompress(&session->info);
  allocateTopDown(*request, image);
  readJpegRows(&session->info, *image);
  return session->message.empty();
}

}  // namespace

// The file is read whole first: a marker that claims more bytes than the
// file holds is then skipped in memory, where libjpeg's stdio source would
// ask the system for two more bytes at a time until the claim is met.
bool decodeJpeg(FILE* file, const Request& request, DecodedImage* image) {
  std::vector<uint8_t> bytes;
  if (!readWholeFile(file, &bytes, request)) return false;
  JpegSession session;
  session.info.err = jpeg_std_error(&session.errors);
  session.errors.error_exit = jpegErrorExit;
  session.errors.emit_message = jpegEmitMessage;
  session.info.client_data = &session;
  request.reason->clear();
  if (runJpegDecoder(&bytes, &session, &request, image)) return true;
  if (request.reason->empty()) return fail(request, "JPEG decoding failed: " + session.message);
  return false;
}

}  // namespace focustrack
