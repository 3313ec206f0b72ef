// Element lookup in OME-XML whatever namespace prefix the file gives its
// elements ("Pixels", "ome:Pixels").
#pragma once

#include <cstring>

#include <pugixml.hpp>

namespace focustrack {

// The element name without its prefix.
inline const char* localName(const char* name) {
  const char* colon = std::strrchr(name, ':');
  return colon != nullptr ? colon + 1 : name;
}

// The first child element of that local name; empty when there is none.
inline pugi::xml_node xmlChild(pugi::xml_node node, const char* name) {
  for (pugi::xml_node c : node.children()) {
    if (c.type() == pugi::node_element && std::strcmp(localName(c.name()), name) == 0) return c;
  }
  return {};
}

}  // namespace focustrack
