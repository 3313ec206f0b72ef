#include "output/tables.h"

#include <stdio_ext.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace focustrack {

namespace {

constexpr const char* kCellsHeader[] = {
    "Index", "Frame", "Id", "Has Nuclei", "Cell Size", "Cell Circularity", "Move",
    "Min X", "Min Y", "Max X", "Max Y", "Aspect", "Nuclei Size", "Nuclei Value",
    "Nuclei / Cell", "Nucleoi Size", "Nucleoli / Nuclei", "Vacuole Count", "Vacuole Size",
    "Vacuole Max"};

constexpr const char* kAverageHeader[] = {
    "Index", "Frame", "Cell Count (All)", "Cell Size (All)", "Circularity (All)", "Move",
    "Cell Count (Nuclei)", "Cell Size (Nuclei)", "Circularity (Nuclei)", "Nuclei Size",
    "Nuclei / Cell", "Nucleoli Size", "Nucleoli / Nuclei", "Vacuole Count", "Vacuole Size",
    "Vacuole Max"};

template <size_t N>
bool writeHeader(FILE* file, const char* const (&names)[N]) {
  errno = 0;
  for (const char* name : names) std::fprintf(file, "%s, ", name);
  std::fputc('\n', file);
  return std::fflush(file) == 0 && !std::ferror(file);
}

std::string causeOf(int error) { return error != 0 ? std::strerror(error) : "write failed"; }

}  // namespace

bool openTables(const RunSettings& settings, TableFiles& tables, std::string* reason) {
  if (!settings.outputFolder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(settings.outputFolder, ec);
    if (ec) {
      *reason = "cannot create output folder '" + settings.outputFolder + "': " + ec.message();
      return false;
    }
  }
  tables.cellsPath = outputPath(settings.outputFolder, "_cells.csv");
  tables.averagePath = outputPath(settings.outputFolder, "_average.csv");
  tables.cells = std::fopen(tables.cellsPath.c_str(), "w");
  if (tables.cells == nullptr) {
    *reason = "cannot create table '" + tables.cellsPath + "': " + std::strerror(errno);
    return false;
  }
  tables.average = std::fopen(tables.averagePath.c_str(), "w");
  if (tables.average == nullptr) {
    *reason = "cannot create table '" + tables.averagePath + "': " + std::strerror(errno);
    return false;
  }
  return true;
}

bool writeTableHeaders(TableFiles& tables, std::string* reason) {
  if (!writeHeader(tables.cells, kCellsHeader)) {
    *reason = "cannot write table '" + tables.cellsPath + "': " + causeOf(errno);
    return false;
  }
  if (!writeHeader(tables.average, kAverageHeader)) {
    *reason = "cannot write table '" + tables.averagePath + "': " + causeOf(errno);
    return false;
  }
  return true;
}

bool truncateTable(FILE* file, long offset) {
  if (file == nullptr || offset < 0) return false;
  // The stream may still hold the bytes that failed; they must not follow.
  __fpurge(file);
  std::clearerr(file);
  const int fd = fileno(file);
  if (fd < 0 || ftruncate(fd, offset) != 0) return false;
  return std::fseek(file, offset, SEEK_SET) == 0;
}

void closeTables(TableFiles& tables) {
  if (tables.cells != nullptr) std::fclose(tables.cells);
  if (tables.average != nullptr) std::fclose(tables.average);
  tables.cells = nullptr;
  tables.average = nullptr;
}

std::string formatDouble(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace focustrack
