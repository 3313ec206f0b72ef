// Runs the whole pipeline in-process and captures what it prints.
#pragma once

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/pipeline.h"
#include "support/test_files.h"

namespace focustrack {

struct RunResult {
  int status = 0;
  std::string out;
  std::string err;
};

// What the file holds; the file is closed.
inline std::string readStream(FILE* file) {
  const std::string text = readAll(file);
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
  // A time is a right-aligned number followed by " ms " at the start of a line
  // or of a column: "<t>" for the elapsed integer, "<v>" for a value.
  std::string out;
  for (size_t i = 0; i < log.size();) {
    const bool columnStart = i > 0 && (log[i - 1] == '\n' || log[i - 1] == '|');
    size_t digits = i;
    while (digits < log.size() && log[digits] == ' ') ++digits;
    size_t end = digits;
    while (end < log.size() && (std::isdigit(static_cast<unsigned char>(log[end])) || log[end] == '.')) ++end;
    if (columnStart && end > digits && log.compare(end, 4, " ms ") == 0) {
      out += log.find('.', digits) < end ? "<v>" : "<t>";
      i = end;
    } else {
      out += log[i++];
    }
  }
  // A frame whose time rounds to nothing shows its total column blank.
  const std::string blankTotal = "|            | Frame ";
  for (size_t at = out.find(blankTotal); at != std::string::npos; at = out.find(blankTotal, at)) {
    out.replace(at, blankTotal.size(), "|<v> ms | Frame ");
  }
  return out;
}

inline bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

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

}  // namespace focustrack
