#include "io/stack_units.h"

#include <gtest/gtest.h>

#include <string>

namespace focustrack {

namespace {

std::string ome(const std::string& pixelsAttributes, const std::string& inside = "") {
  return "<?xml version=\"1.0\"?><OME xmlns=\"http://www.openmicroscopy.org/Schemas/OME/2016-06\">"
         "<Image ID=\"Image:0\"><Pixels ID=\"Pixels:0\" DimensionOrder=\"XYZCT\" Type=\"uint8\" SizeX=\"4\" "
         "SizeY=\"4\" SizeC=\"1\" SizeZ=\"2\" SizeT=\"3\"" +
         pixelsAttributes + ">" + inside + "</Pixels></Image></OME>";
}

TEST(StackUnits, OmePhysicalSizeAndTimeIncrementWithTheirUnits) {
  StackUnits u = omeUnits(ome(" PhysicalSizeX=\"0.182\" PhysicalSizeY=\"0.182\" TimeIncrement=\"300\""));
  EXPECT_DOUBLE_EQ(u.pixelSize, 0.182);  // micrometres and seconds when no unit is named
  EXPECT_DOUBLE_EQ(u.frameInterval, 5.0);
  u = omeUnits(ome(" PhysicalSizeX=\"65\" PhysicalSizeXUnit=\"nm\" TimeIncrement=\"0.25\" TimeIncrementUnit=\"h\""));
  EXPECT_DOUBLE_EQ(u.pixelSize, 0.065);
  EXPECT_DOUBLE_EQ(u.frameInterval, 15.0);
  u = omeUnits(ome(" PhysicalSizeX=\"0.1\" PhysicalSizeXUnit=\"\xCE\xBCm\""));  // Greek mu
  EXPECT_DOUBLE_EQ(u.pixelSize, 0.1);
  EXPECT_EQ(u.frameInterval, 0.0);
}

TEST(StackUnits, OmePlanesDeltaTGiveTheMeanStep) {
  const std::string planes =
      "<Plane TheC=\"0\" TheZ=\"0\" TheT=\"0\" DeltaT=\"10\"/><Plane TheC=\"0\" TheZ=\"1\" TheT=\"0\" DeltaT=\"11\"/>"
      "<Plane TheC=\"0\" TheZ=\"0\" TheT=\"2\" DeltaT=\"250\"/><Plane TheC=\"0\" TheZ=\"0\" TheT=\"1\" DeltaT=\"130\"/>";
  EXPECT_DOUBLE_EQ(omeUnits(ome("", planes)).frameInterval, 2.0);  // (250 - 10) s over 2 steps
  const std::string minutes = "<Plane TheT=\"0\" DeltaT=\"1\" DeltaTUnit=\"min\"/><Plane TheT=\"1\" DeltaT=\"4\" "
                              "DeltaTUnit=\"min\"/>";
  EXPECT_DOUBLE_EQ(omeUnits(ome("", minutes)).frameInterval, 3.0);
  // TimeIncrement wins over the planes; one time point gives no step.
  EXPECT_DOUBLE_EQ(omeUnits(ome(" TimeIncrement=\"60\"", minutes)).frameInterval, 1.0);
  EXPECT_EQ(omeUnits(ome("", "<Plane TheT=\"0\" DeltaT=\"5\"/>")).frameInterval, 0.0);
}

TEST(StackUnits, OmeWithoutUnitsOrUnknownUnitsKnowsNothing) {
  for (const std::string& text : {ome(""), ome(" PhysicalSizeX=\"1\" PhysicalSizeXUnit=\"pixel\""),
                                  ome(" PhysicalSizeX=\"-1\""), ome(" PhysicalSizeX=\"abc\""),
                                  std::string("<OME"), std::string("")}) {
    const StackUnits u = omeUnits(text);
    EXPECT_EQ(u.pixelSize, 0.0) << text;
    EXPECT_EQ(u.frameInterval, 0.0) << text;
  }
}

TEST(StackUnits, ImageJResolutionInTheNamedUnitAndFrameInterval) {
  StackUnits u = imageJUnits("ImageJ=1.11a\nimages=4\nunit=micron\nfinterval=90\n", 1.0 / 0.13);
  EXPECT_DOUBLE_EQ(u.pixelSize, 0.13);
  EXPECT_DOUBLE_EQ(u.frameInterval, 1.5);  // seconds when no time unit is named
  u = imageJUnits("ImageJ=1.11a\nunit=nm\nfinterval=2\ntunit=min\n", 0.02);
  EXPECT_DOUBLE_EQ(u.pixelSize, 0.05);
  EXPECT_DOUBLE_EQ(u.frameInterval, 2.0);
  EXPECT_DOUBLE_EQ(imageJUnits("ImageJ=1.11a\nunit=\\u00B5m\n", 10.0).pixelSize, 0.1);
  // A resolution without a unit, a unit without a resolution: nothing known.
  EXPECT_EQ(imageJUnits("ImageJ=1.11a\nimages=4\n", 5.49).pixelSize, 0.0);
  EXPECT_EQ(imageJUnits("ImageJ=1.11a\nunit=micron\n", 0.0).pixelSize, 0.0);
  EXPECT_EQ(imageJUnits("ImageJ=1.11a\nunit=pixel\n", 2.0).pixelSize, 0.0);
  EXPECT_EQ(imageJUnits("ImageJ=1.11a\nfinterval=0\n", 0.0).frameInterval, 0.0);
}

}  // namespace

}  // namespace focustrack
