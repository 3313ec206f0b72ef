// The layers of src/ include one way only: a file may include its own folder
// and the layers below it. The stage folders are peers and never include one
// another, so a stage cannot call another stage.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace focustrack {
namespace {

namespace fs = std::filesystem;

const std::map<std::string, int> kLayerRank = {
    {"base", 0},    {"io", 1},       {"frame", 2},  {"reduce", 3}, {"classify", 3},
    {"cells", 3},   {"contents", 3}, {"output", 4}, {"app", 5},
};

// The folder a quoted include names ("cells/cells.h" -> "cells"), or "" for
// a file without one.
std::string folderOf(const std::string& include) {
  const size_t slash = include.find('/');
  return slash == std::string::npos ? "" : include.substr(0, slash);
}

// Every quoted include of a source text.
std::vector<std::string> quotedIncludes(std::istream& text) {
  std::vector<std::string> includes;
  std::string line;
  while (std::getline(text, line)) {
    const size_t at = line.find("#include \"");
    if (at == std::string::npos || line.find_first_not_of(" \t") != at) continue;
    const size_t begin = at + 10;
    const size_t end = line.find('"', begin);
    if (end != std::string::npos) includes.push_back(line.substr(begin, end - begin));
  }
  return includes;
}

// The breaches of one file of `folder`: includes of a higher layer, of a peer
// stage folder, or of a folder that is no layer.
std::vector<std::string> breaches(const std::string& folder, std::istream& text) {
  std::vector<std::string> found;
  const int rank = kLayerRank.at(folder);
  for (const std::string& include : quotedIncludes(text)) {
    const std::string target = folderOf(include);
    const auto layer = kLayerRank.find(target);
    const bool allowed = target == folder || (layer != kLayerRank.end() && layer->second < rank);
    if (!allowed) found.push_back(include);
  }
  return found;
}

TEST(IncludeDirection, EveryIncludeInSrcPointsToItsOwnOrALowerLayer) {
  const fs::path src = fs::path(FOCUSTRACK_SOURCE_DIR) / "src";
  int filesRead = 0;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file()) continue;
    const std::string folder = entry.path().parent_path().filename().string();
    ASSERT_TRUE(kLayerRank.count(folder)) << "folder outside the layers: " << entry.path();
    std::ifstream text(entry.path());
    for (const std::string& include : breaches(folder, text)) {
      ADD_FAILURE() << entry.path().lexically_relative(src).string() << " includes \"" << include
                    << "\" against the layer direction";
    }
    ++filesRead;
  }
  EXPECT_GT(filesRead, 50);
}

TEST(IncludeDirection, CheckRejectsUpwardPeerAndUnknownIncludes) {
  std::istringstream text(
      "#include \"frame/records.h\"\n"
      "#include \"cells/cells.h\"\n"
      "#include <vector>\n"
      "  #include \"output/tables.h\"\n"
      "#include \"contents/contents.h\"\n"
      "#include \"loose.h\"\n"
      "// #include \"app/pipeline.h\"\n");
  const std::vector<std::string> expected = {"output/tables.h", "contents/contents.h", "loose.h"};
  EXPECT_EQ(breaches("cells", text), expected);
}

}  // namespace
}  // namespace focustrack
