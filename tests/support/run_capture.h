// Runs the whole pipeline in-process and captures what it prints.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "run/frame_loop.h"

struct RunResult {
  int status = 0;
  std::string out;
  std::string err;
};

inline std::string readStream(FILE* file) {
  std::rewind(file);
  std::string text;
  char chunk[4096];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
  std::fclose(file);
  return text;
}

inline RunResult runFocustrack(std::vector<std::string> words) {
  words.insert(words.begin(), "focustrack");
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  RunResult result;
  result.status = runPipeline(static_cast<int>(argv.size()), argv.data(), out, err);
  result.out = readStream(out);
  result.err = readStream(err);
  return result;
}

// The log with its elapsed-time columns blanked, so runs compare exactly.
inline std::string withoutTimes(const std::string& log) {
  static const std::regex elapsed(R"(\n +[0-9]+ ms \|)");
  static const std::regex value(R"( *[0-9]+\.[0-9]{2} ms )");
  return std::regex_replace(std::regex_replace(log, elapsed, "\n<t> ms |"), value, "<v> ms ");
}

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A fresh empty folder under the test temporary directory.
inline std::filesystem::path freshFolder(const std::string& name) {
  const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) / ("focustrack_" + name);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}
