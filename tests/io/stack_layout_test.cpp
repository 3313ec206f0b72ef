#include "io/stack_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace focustrack {

namespace {

// The pages of every plane, in the table's order (channel fastest).
std::vector<int32_t> pagesOf(const StackLayout& layout) {
  std::vector<int32_t> pages;
  for (int32_t t = 0; t < layout.frames; ++t) {
    for (int32_t z = 0; z < layout.slices; ++z) {
      for (int32_t c = 0; c < layout.channels; ++c) pages.push_back(pageOf(layout, c, z, t));
    }
  }
  return pages;
}

std::vector<int32_t> counting(int32_t n) {
  std::vector<int32_t> pages(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) pages[static_cast<size_t>(i)] = i;
  return pages;
}

std::string ome(const std::string& pixelsAttributes, const std::string& inside = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><OME xmlns=\"http://www.openmicroscopy.org/Schemas/OME/2016-06\">"
         "<Image ID=\"Image:0\"><Pixels ID=\"Pixels:0\" " +
         pixelsAttributes + ">" + inside + "</Pixels></Image></OME>";
}

const std::string kSizes2x3x2 =
    "SizeX=\"8\" SizeY=\"6\" SizeC=\"2\" SizeZ=\"3\" SizeT=\"2\" Type=\"uint16\" DimensionOrder=";

}  // namespace

TEST(StackLayout, ImageJDescriptionsAsWritten) {
  struct Case {
    const char* text;
    int32_t pages;
    int32_t channels, slices, frames;
  };
  const Case cases[] = {
      // As tifffile writes it for the real 16-bit recording.
      {"ImageJ=1.11a\nimages=20\nslices=5\nframes=4\nhyperstack=true\nmode=grayscale\nloop=false\n", 20, 1, 5, 4},
      {"ImageJ=1.53t\nimages=12\nchannels=2\nslices=3\nframes=2\nhyperstack=true\n", 12, 2, 3, 2},
      // A plain ImageJ stack: all images are slices.
      {"ImageJ=1.53t\nimages=7\nunit=micron\n", 7, 1, 7, 1},
      // Line ends of Windows and no images count: the page count.
      {"ImageJ=1.53t\r\nchannels=3\r\n", 3, 3, 1, 1},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(isImageJDescription(c.text));
    StackLayout layout;
    std::string reason;
    ASSERT_TRUE(parseImageJDescription(c.text, c.pages, &layout, &reason)) << reason;
    EXPECT_EQ(layout.kind, "ImageJ hyperstack");
    EXPECT_EQ(std::tuple(layout.channels, layout.slices, layout.frames), std::tuple(c.channels, c.slices, c.frames))
        << c.text;
    // Channel fastest, then slice, then frame: page c + C (z + Z t).
    EXPECT_EQ(pagesOf(layout), counting(c.pages)) << c.text;
  }
  EXPECT_FALSE(isImageJDescription("imagej=1.5\nimages=3"));
  EXPECT_FALSE(isImageJDescription(ome("")));
}

TEST(StackLayout, OmeDimensionOrdersAndTiffData) {
  // Plane (c, z, t) of 2 x 3 x 2 in each order; the table lists c fastest.
  struct Case {
    std::string xml;
    std::vector<int32_t> pages;
  };
  const Case cases[] = {
      {ome(kSizes2x3x2 + "\"XYCZT\""), counting(12)},
      {ome(kSizes2x3x2 + "\"XYZCT\""), {0, 3, 1, 4, 2, 5, 6, 9, 7, 10, 8, 11}},
      // A TiffData without attributes also covers every plane.
      {ome(kSizes2x3x2 + "\"XYCZT\"", "<TiffData/>"), counting(12)},
      // Two runs, the second from (c 0, z 0, t 1), pages after two leading ones.
      {ome(kSizes2x3x2 + "\"XYCZT\"",
           "<TiffData IFD=\"2\" PlaneCount=\"6\"/><TiffData IFD=\"8\" FirstT=\"1\" PlaneCount=\"6\"/>"),
       {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}},
  };
  for (const Case& c : cases) {
    StackLayout layout;
    std::string reason;
    ASSERT_TRUE(isOmeDescription(c.xml));
    ASSERT_TRUE(parseOmeDescription(c.xml, "rec.ome.tif", 14, &layout, &reason)) << reason << "\n" << c.xml;
    EXPECT_EQ(layout.kind, "OME-TIFF");
    EXPECT_EQ(std::tuple(layout.width, layout.height, layout.bits), std::tuple(8, 6, 16));
    EXPECT_EQ(pagesOf(layout), c.pages) << c.xml;
  }
}

TEST(StackLayout, OmeTiffDataPerPlaneAndNamespacePrefixes) {
  // Pages written slice by slice backwards, one TiffData per plane, with the
  // schema's namespace prefix.
  std::string inside;
  for (int z = 0; z < 3; ++z) {
    inside += "<ome:TiffData FirstZ=\"" + std::to_string(z) + "\" IFD=\"" + std::to_string(2 - z) +
              "\" PlaneCount=\"1\"><ome:UUID FileName=\"rec.ome.tif\">urn:uuid:1</ome:UUID></ome:TiffData>";
  }
  const std::string xml =
      "<ome:OME xmlns:ome=\"http://www.openmicroscopy.org/Schemas/OME/2016-06\"><ome:Image><ome:Pixels "
      "SizeX=\"4\" SizeY=\"4\" SizeC=\"1\" SizeZ=\"3\" SizeT=\"1\" Type=\"uint8\" DimensionOrder=\"XYZTC\">" +
      inside + "</ome:Pixels></ome:Image></ome:OME>";
  StackLayout layout;
  std::string reason;
  ASSERT_TRUE(parseOmeDescription(xml, "rec.ome.tif", 3, &layout, &reason)) << reason;
  EXPECT_EQ(layout.bits, 8);
  EXPECT_EQ(pagesOf(layout), (std::vector<int32_t>{2, 1, 0}));
}

// ImageJ descriptions and OME-XML that disagree with the file or themselves.
TEST(StackLayout, DescriptionFaultsAreNamed) {
  const std::string sizes = "SizeX=\"8\" SizeY=\"6\" SizeC=\"1\" SizeZ=\"3\" SizeT=\"2\" DimensionOrder=\"XYZCT\" ";
  struct Case {
    std::string xml;  // OME-XML, or an ImageJ description
    int32_t pages;
    std::string reason;  // ending in ": " only the start of it
  };
  const Case cases[] = {
      {"ImageJ=1\nimages=20\nslices=5\nframes=4\n", 19, "ImageDescription says images=20 but the file has 19 pages"},
      {"ImageJ=1\nimages=20\nslices=5\nframes=3\n", 20,
       "ImageDescription says images=20 but channels x slices x frames = 1 x 5 x 3 = 15"},
      {"ImageJ=1\nimages=20\nslices=five\n", 20, "ImageDescription has slices=five, expected a positive whole number"},
      {"ImageJ=1\nimages=0\n", 0, "ImageDescription has images=0, expected a positive whole number"},
      {"<OME><Image><Pixels SizeX=\"8\"", 6, "OME-XML does not parse: "},
      {"<OME><Image/></OME>", 6, "OME-XML has no OME/Image/Pixels element"},
      {ome("SizeX=\"8\" SizeY=\"6\" SizeC=\"1\" SizeT=\"2\" Type=\"uint8\" DimensionOrder=\"XYZCT\""), 6,
       "OME-XML Pixels has no SizeZ"},
      {ome("SizeX=\"8\" SizeY=\"6\" SizeC=\"1\" SizeZ=\"0\" SizeT=\"2\" Type=\"uint8\" DimensionOrder=\"XYZCT\""), 6,
       "OME-XML Pixels has SizeZ=\"0\", expected a positive whole number"},
      {ome(sizes + "Type=\"float\""), 6, "OME-XML pixel type \"float\" is not read; expected uint8 or uint16"},
      {ome("SizeX=\"8\" SizeY=\"6\" SizeC=\"1\" SizeZ=\"3\" SizeT=\"2\" Type=\"uint8\" DimensionOrder=\"XYZZT\""), 6,
       "OME-XML DimensionOrder \"XYZZT\" is not XY followed by C, Z and T"},
      {ome(sizes + "Type=\"uint8\""), 5, "OME-XML puts channel 1, slice 3, frame 2 on page 6, but the file has 5 pages"},
      {ome(sizes + "Type=\"uint8\"", "<TiffData IFD=\"0\" PlaneCount=\"4\"/>"), 6,
       "OME-XML gives no page for channel 1, slice 2, frame 2"},
      {ome(sizes + "Type=\"uint8\"", "<TiffData IFD=\"0\"><UUID FileName=\"other.ome.tif\">u</UUID></TiffData>"), 6,
       "OME-XML puts planes in another file ('other.ome.tif'); only one-file OME-TIFF is read"},
      {ome(sizes + "Type=\"uint8\"", "<TiffData IFD=\"-1\"/>"), 6,
       "OME-XML TiffData has IFD=\"-1\", expected a whole number from 0"},
      {ome(sizes + "Type=\"uint8\"", "<TiffData FirstZ=\"3\"/>"), 6,
       "OME-XML TiffData starts at a plane outside SizeC, SizeZ, SizeT"},
  };
  for (const Case& c : cases) {
    StackLayout layout;
    std::string reason;
    const bool parsed = isImageJDescription(c.xml)
                            ? parseImageJDescription(c.xml, c.pages, &layout, &reason)
                            : parseOmeDescription(c.xml, "rec.ome.tif", c.pages, &layout, &reason);
    EXPECT_FALSE(parsed) << c.xml;
    if (c.reason.ends_with(": ")) {
      EXPECT_TRUE(reason.starts_with(c.reason)) << reason;
    } else {
      EXPECT_EQ(reason, c.reason) << c.xml;
    }
  }
}

}  // namespace focustrack
