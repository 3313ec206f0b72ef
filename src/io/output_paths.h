// Names of the files a run writes: the tables and run.json in the output
// folder, and the per-frame files (result images, masks, dumps) named
// <stem>_NNNN.<extension> with NNNN the frame ordinal of at least four digits.
#pragma once

#include <cstdint>
#include <string>

namespace focustrack {

// Joins a folder and a file name with "/"; an empty folder means the current
// directory.
std::string outputPath(const std::string& folder, const std::string& name);

// folder/<stem>_NNNN.<extension>, e.g. "out/result_0001.bmp".
std::string frameFilePath(const std::string& folder, const std::string& stem, int32_t frameOrdinal,
                          const std::string& extension);

}  // namespace focustrack
