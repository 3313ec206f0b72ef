#include "io/stack_units.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

#include <pugixml.hpp>

#include "io/ome_xml.h"
#include "io/stack_layout.h"

namespace focustrack {

namespace {

struct UnitName {
  const char* name;
  double factor;
};

// Microns per unit; ImageJ writes "micron" or an escaped µ, OME the µ sign
// (micro sign or Greek mu).
constexpr UnitName kLengths[] = {
    {"micron", 1.0}, {"microns", 1.0}, {"um", 1.0},       {"\xC2\xB5m", 1.0}, {"\xCE\xBCm", 1.0},
    {"\\u00B5m", 1.0}, {"nm", 1e-3},   {"mm", 1e3},       {"cm", 1e4},        {"m", 1e6},
    {"\xC3\x85", 1e-4}, {"inch", 25400.0}};

// Minutes per unit.
constexpr UnitName kTimes[] = {
    {"s", 1.0 / 60.0},    {"sec", 1.0 / 60.0},  {"second", 1.0 / 60.0}, {"seconds", 1.0 / 60.0},
    {"ms", 1.0 / 6e4},    {"msec", 1.0 / 6e4},  {"\xC2\xB5s", 1.0 / 6e7}, {"us", 1.0 / 6e7},
    {"min", 1.0},         {"minute", 1.0},      {"minutes", 1.0},       {"h", 60.0},
    {"hr", 60.0},         {"hour", 60.0},       {"hours", 60.0}};

template <size_t N>
double factorOf(const UnitName (&names)[N], const std::string& unit) {
  for (const UnitName& u : names) {
    if (unit == u.name) return u.factor;
  }
  return 0.0;
}

// A positive finite number, the whole text; 0 otherwise.
double positive(const std::string& text) {
  if (text.empty()) return 0.0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  return end != nullptr && *end == '\0' && std::isfinite(value) && value > 0.0 ? value : 0.0;
}


// An attribute's value in microns or minutes, its unit attribute (or the
// default unit) converted; 0 when absent or not understood.
double withUnit(pugi::xml_node node, const char* name, const char* fallbackUnit, bool length) {
  const double value = positive(node.attribute(name).value());
  const pugi::xml_attribute unitAttribute = node.attribute((std::string(name) + "Unit").c_str());
  const std::string unit = unitAttribute ? unitAttribute.value() : fallbackUnit;
  return value * (length ? micronsPer(unit) : minutesPer(unit));
}

// Mean DeltaT step of channel 0, slice 0 between the first and the last time
// point that has one.
double intervalFromPlanes(pugi::xml_node pixels) {
  long firstT = -1, lastT = -1;
  double firstTime = 0.0, lastTime = 0.0;
  for (pugi::xml_node plane : pixels.children()) {
    if (plane.type() != pugi::node_element || std::strcmp(localName(plane.name()), "Plane") != 0) continue;
    if (plane.attribute("TheC").as_int(0) != 0 || plane.attribute("TheZ").as_int(0) != 0) continue;
    if (!plane.attribute("DeltaT")) continue;
    const long t = plane.attribute("TheT").as_int(0);
    const pugi::xml_attribute unit = plane.attribute("DeltaTUnit");
    const double time = plane.attribute("DeltaT").as_double() * minutesPer(unit ? unit.value() : "s");
    if (firstT < 0 || t < firstT) firstT = t, firstTime = time;
    if (lastT < 0 || t > lastT) lastT = t, lastTime = time;
  }
  if (lastT <= firstT) return 0.0;
  const double step = (lastTime - firstTime) / static_cast<double>(lastT - firstT);
  return std::isfinite(step) && step > 0.0 ? step : 0.0;
}

}  // namespace

double micronsPer(const std::string& unit) { return factorOf(kLengths, unit); }

double minutesPer(const std::string& unit) { return factorOf(kTimes, unit); }

StackUnits imageJUnits(const std::string& description, double xResolution) {
  const std::map<std::string, std::string> values = imageJKeyValues(description);
  StackUnits units;
  const auto unit = values.find("unit");
  if (unit != values.end() && xResolution > 0.0 && std::isfinite(xResolution)) {
    units.pixelSize = micronsPer(unit->second) / xResolution;
  }
  const auto interval = values.find("finterval");
  if (interval != values.end()) {
    const auto timeUnit = values.find("tunit");
    units.frameInterval =
        positive(interval->second) * minutesPer(timeUnit != values.end() ? timeUnit->second : "sec");
  }
  return units;
}

StackUnits omeUnits(const std::string& description) {
  StackUnits units;
  pugi::xml_document document;
  if (!document.load_buffer(description.data(), description.size())) return units;
  const pugi::xml_node pixels = xmlChild(xmlChild(xmlChild(document, "OME"), "Image"), "Pixels");
  if (!pixels) return units;
  units.pixelSize = withUnit(pixels, "PhysicalSizeX", "\xC2\xB5m", true);
  units.frameInterval = withUnit(pixels, "TimeIncrement", "s", false);
  if (units.frameInterval == 0.0) units.frameInterval = intervalFromPlanes(pixels);
  return units;
}

}  // namespace focustrack
