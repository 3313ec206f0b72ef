#include "io/stack_layout.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <map>

#include <pugixml.hpp>

#include "io/ome_xml.h"

namespace focustrack {

namespace {

// Planes a description may declare; beyond it the page table would not fit
// 32-bit page numbers.
constexpr int64_t kMostPlanes = std::numeric_limits<int32_t>::max();

// A positive whole number, the whole text.
bool positiveNumber(const std::string& text, int32_t* value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, *value);
  return result.ec == std::errc() && result.ptr == end && !text.empty() && *value > 0;
}

bool sizePlanes(StackLayout* layout, std::string* reason) {
  const int64_t planes = int64_t{layout->channels} * layout->slices * layout->frames;
  if (planes > kMostPlanes) {
    *reason = "the description declares " + std::to_string(planes) + " planes, too many to read";
    return false;
  }
  layout->pages.assign(static_cast<size_t>(planes), -1);
  return true;
}

// ---- ImageJ ----

bool imageJCount(const std::map<std::string, std::string>& values, const char* key,
                 int32_t fallback, int32_t* count, std::string* reason) {
  const auto found = values.find(key);
  if (found == values.end()) {
    *count = fallback;
    return true;
  }
  if (positiveNumber(found->second, count)) return true;
  *reason = std::string("ImageDescription has ") + key + "=" + found->second +
            ", expected a positive whole number";
  return false;
}

// ---- OME ----

bool omeCount(pugi::xml_node pixels, const char* name, int32_t* value, std::string* reason) {
  const pugi::xml_attribute attribute = pixels.attribute(name);
  if (attribute && positiveNumber(attribute.value(), value)) return true;
  *reason = std::string("OME-XML Pixels ") +
            (attribute ? std::string("has ") + name + "=\"" + attribute.value() + "\"" +
                             ", expected a positive whole number"
                       : std::string("has no ") + name);
  return false;
}

// A TiffData attribute that counts from 0; absent gives `fallback`.
bool omeIndex(pugi::xml_node node, const char* name, int32_t fallback, int32_t* value,
              std::string* reason) {
  const pugi::xml_attribute attribute = node.attribute(name);
  if (!attribute) {
    *value = fallback;
    return true;
  }
  int32_t number = 0;
  const std::string text = attribute.value();
  if (text == "0") {
    *value = 0;
    return true;
  }
  if (positiveNumber(text, &number)) {
    *value = number;
    return true;
  }
  *reason = std::string("OME-XML TiffData has ") + name + "=\"" + text +
            "\", expected a whole number from 0";
  return false;
}

// The three letters after "XY", fastest first, as sizes and strides.
struct PlaneOrder {
  char letters[3];
  int64_t stride[3];
};

bool readOrder(const std::string& order, const StackLayout& layout, PlaneOrder* out,
               std::string* reason) {
  const bool shaped = order.size() == 5 && order.compare(0, 2, "XY") == 0 &&
                      order.find('C') != std::string::npos && order.find('Z') != std::string::npos &&
                      order.find('T') != std::string::npos;
  if (!shaped) {
    *reason = "OME-XML DimensionOrder \"" + order + "\" is not XY followed by C, Z and T";
    return false;
  }
  int64_t stride = 1;
  for (int k = 0; k < 3; ++k) {
    out->letters[k] = order[static_cast<size_t>(2 + k)];
    out->stride[k] = stride;
    stride *= out->letters[k] == 'C' ? layout.channels
              : out->letters[k] == 'Z' ? layout.slices
                                       : layout.frames;
  }
  return true;
}

// Position of plane (c, z, t) in DimensionOrder, and the reverse.
int64_t ordinalOf(const PlaneOrder& order, int64_t c, int64_t z, int64_t t) {
  int64_t ordinal = 0;
  for (int k = 0; k < 3; ++k) {
    ordinal += order.stride[k] * (order.letters[k] == 'C' ? c : order.letters[k] == 'Z' ? z : t);
  }
  return ordinal;
}

size_t tableIndexOf(const PlaneOrder& order, const StackLayout& layout, int64_t ordinal) {
  int64_t at[3] = {0, 0, 0};  // c, z, t
  for (int k = 2; k >= 0; --k) {
    const int64_t value = ordinal / order.stride[k];
    ordinal -= value * order.stride[k];
    at[order.letters[k] == 'C' ? 0 : order.letters[k] == 'Z' ? 1 : 2] = value;
  }
  return static_cast<size_t>(at[0] + int64_t{layout.channels} * (at[1] + int64_t{layout.slices} * at[2]));
}

bool readPixelsElement(pugi::xml_node pixels, StackLayout* layout, std::string* order,
                       std::string* reason) {
  if (!omeCount(pixels, "SizeX", &layout->width, reason) ||
      !omeCount(pixels, "SizeY", &layout->height, reason) ||
      !omeCount(pixels, "SizeC", &layout->channels, reason) ||
      !omeCount(pixels, "SizeZ", &layout->slices, reason) ||
      !omeCount(pixels, "SizeT", &layout->frames, reason)) {
    return false;
  }
  const std::string type = pixels.attribute("Type").value();
  if (type != "uint8" && type != "uint16") {
    *reason = "OME-XML pixel type \"" + type + "\" is not read; expected uint8 or uint16";
    return false;
  }
  layout->bits = type == "uint8" ? 8 : 16;
  *order = pixels.attribute("DimensionOrder").value();
  return true;
}

// One TiffData element: PlaneCount planes from (FirstC, FirstZ, FirstT) in
// DimensionOrder lie on consecutive pages from IFD. Without PlaneCount it
// covers one plane, or every plane when it names no IFD either.
bool mapTiffData(pugi::xml_node data, const PlaneOrder& order, const std::string& fileName,
                 StackLayout* layout, std::string* reason) {
  const pugi::xml_node uuid = xmlChild(data, "UUID");
  const std::string inFile = uuid ? uuid.attribute("FileName").value() : "";
  if (!inFile.empty() && inFile != fileName) {
    *reason = "OME-XML puts planes in another file ('" + inFile + "'); only one-file OME-TIFF is read";
    return false;
  }
  const int64_t total = static_cast<int64_t>(layout->pages.size());
  int32_t ifd = 0, c = 0, z = 0, t = 0, count = 0;
  if (!omeIndex(data, "IFD", 0, &ifd, reason) || !omeIndex(data, "FirstC", 0, &c, reason) ||
      !omeIndex(data, "FirstZ", 0, &z, reason) || !omeIndex(data, "FirstT", 0, &t, reason)) {
    return false;
  }
  if (c >= layout->channels || z >= layout->slices || t >= layout->frames) {
    *reason = "OME-XML TiffData starts at a plane outside SizeC, SizeZ, SizeT";
    return false;
  }
  const int64_t first = ordinalOf(order, c, z, t);
  const bool allPlanes = !data.attribute("IFD") && !data.attribute("PlaneCount");
  if (!omeIndex(data, "PlaneCount", allPlanes ? static_cast<int32_t>(total - first) : 1, &count,
                reason)) {
    return false;
  }
  for (int64_t k = 0; k < count && first + k < total; ++k) {
    const int64_t page = std::min<int64_t>(int64_t{ifd} + k, std::numeric_limits<int32_t>::max());
    layout->pages[tableIndexOf(order, *layout, first + k)] = static_cast<int32_t>(page);
  }
  return true;
}

// Every plane must lie on a page of this file.
bool checkPages(const StackLayout& layout, int32_t pageCount, std::string* reason) {
  for (size_t i = 0; i < layout.pages.size(); ++i) {
    const int64_t page = layout.pages[i];
    if (page >= 0 && page < pageCount) continue;
    const int64_t c = static_cast<int64_t>(i) % layout.channels;
    const int64_t z = static_cast<int64_t>(i) / layout.channels % layout.slices;
    const int64_t t = static_cast<int64_t>(i) / layout.channels / layout.slices;
    const std::string plane = "channel " + std::to_string(c + 1) + ", slice " +
                              std::to_string(z + 1) + ", frame " + std::to_string(t + 1);
    *reason = page < 0 ? "OME-XML gives no page for " + plane
                       : "OME-XML puts " + plane + " on page " + std::to_string(page + 1) +
                             ", but the file has " + std::to_string(pageCount) + " pages";
    return false;
  }
  return true;
}

}  // namespace

std::map<std::string, std::string> imageJKeyValues(const std::string& text) {
  std::map<std::string, std::string> values;
  size_t from = 0;
  while (from < text.size()) {
    size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(from, end - from);
    const size_t equals = line.find('=');
    if (equals != std::string::npos) {
      std::string value = line.substr(equals + 1);
      while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
      values[line.substr(0, equals)] = value;
    }
    from = end + 1;
  }
  return values;
}

int32_t pageOf(const StackLayout& layout, int32_t channel, int32_t slice, int32_t frame) {
  const size_t index = static_cast<size_t>(
      channel + int64_t{layout.channels} * (slice + int64_t{layout.slices} * frame));
  return layout.pages[index];
}

bool isImageJDescription(const std::string& description) {
  return description.compare(0, 7, "ImageJ=") == 0;
}

bool isOmeDescription(const std::string& description) {
  return description.find("<OME") != std::string::npos ||
         description.find(":OME") != std::string::npos;
}

bool parseImageJDescription(const std::string& description, int32_t pageCount,
                            StackLayout* layout, std::string* reason) {
  const std::map<std::string, std::string> values = imageJKeyValues(description);
  int32_t images = 0;
  if (!imageJCount(values, "images", pageCount, &images, reason)) return false;
  const bool counted = values.count("channels") + values.count("slices") + values.count("frames") > 0;
  layout->kind = "ImageJ hyperstack";
  if (!imageJCount(values, "channels", 1, &layout->channels, reason) ||
      !imageJCount(values, "slices", counted ? 1 : images, &layout->slices, reason) ||
      !imageJCount(values, "frames", 1, &layout->frames, reason)) {
    return false;
  }
  const int64_t planes = int64_t{layout->channels} * layout->slices * layout->frames;
  if (planes != images) {
    *reason = "ImageDescription says images=" + std::to_string(images) + " but channels x slices x frames = " +
              std::to_string(layout->channels) + " x " + std::to_string(layout->slices) + " x " +
              std::to_string(layout->frames) + " = " + std::to_string(planes);
    return false;
  }
  if (images != pageCount) {
    *reason = "ImageDescription says images=" + std::to_string(images) + " but the file has " +
              std::to_string(pageCount) + " pages";
    return false;
  }
  if (!sizePlanes(layout, reason)) return false;
  // Channel fastest, then slice, then frame: the table's own order.
  for (size_t i = 0; i < layout->pages.size(); ++i) layout->pages[i] = static_cast<int32_t>(i);
  return true;
}

bool parseOmeDescription(const std::string& description, const std::string& fileName,
                         int32_t pageCount, StackLayout* layout, std::string* reason) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_buffer(description.data(), description.size());
  if (!parsed) {
    *reason = std::string("OME-XML does not parse: ") + parsed.description() + " at byte " +
              std::to_string(parsed.offset);
    return false;
  }
  const pugi::xml_node pixels = xmlChild(xmlChild(xmlChild(document, "OME"), "Image"), "Pixels");
  if (!pixels) {
    *reason = "OME-XML has no OME/Image/Pixels element";
    return false;
  }
  layout->kind = "OME-TIFF";
  std::string orderText;
  PlaneOrder order{};
  if (!readPixelsElement(pixels, layout, &orderText, reason) ||
      !readOrder(orderText, *layout, &order, reason) || !sizePlanes(layout, reason)) {
    return false;
  }
  bool anyTiffData = false;
  for (pugi::xml_node data : pixels.children()) {
    if (data.type() != pugi::node_element || std::strcmp(localName(data.name()), "TiffData") != 0) continue;
    anyTiffData = true;
    if (!mapTiffData(data, order, fileName, layout, reason)) return false;
  }
  if (!anyTiffData) {
    // Without TiffData the pages hold the planes in DimensionOrder.
    const int64_t total = static_cast<int64_t>(layout->pages.size());
    for (int64_t k = 0; k < total; ++k) {
      layout->pages[tableIndexOf(order, *layout, k)] = static_cast<int32_t>(k);
    }
  }
  return checkPages(*layout, pageCount, reason);
}

void plainLayout(int32_t pageCount, int32_t slices, StackLayout* layout) {
  layout->kind = "multi-page TIFF";
  layout->channels = 1;
  layout->slices = slices > 0 ? slices : 1;
  layout->frames = pageCount / layout->slices;
  layout->pages.resize(static_cast<size_t>(layout->slices) * static_cast<size_t>(layout->frames));
  for (size_t i = 0; i < layout->pages.size(); ++i) layout->pages[i] = static_cast<int32_t>(i);
}

}  // namespace focustrack
