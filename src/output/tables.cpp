#include "output/tables.h"

#include <stdio_ext.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "output/lineage.h"

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

FILE* createTable(const std::string& path, std::string* reason) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) *reason = "cannot create table '" + path + "': " + std::strerror(errno);
  return file;
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
  tables.eventsPath = outputPath(settings.outputFolder, "_events.csv");
  tables.tracksPath = outputPath(settings.outputFolder, "_tracks.csv");
  tables.cells = createTable(tables.cellsPath, reason);
  if (tables.cells == nullptr) return false;
  tables.average = createTable(tables.averagePath, reason);
  if (tables.average == nullptr) return false;
  tables.events = createTable(tables.eventsPath, reason);
  return tables.events != nullptr;
}

bool writeTableHeaders(const RunSettings& settings, TableFiles& tables, std::string* reason) {
  if (!writeHeader(tables.cells, kCellsHeader)) {
    *reason = "cannot write table '" + tables.cellsPath + "': " + causeOf(errno);
    return false;
  }
  if (!writeHeader(tables.average, kAverageHeader)) {
    *reason = "cannot write table '" + tables.averagePath + "': " + causeOf(errno);
    return false;
  }
  if (!writeEventHeader(settings, tables.events)) {
    *reason = "cannot write table '" + tables.eventsPath + "'";
    return false;
  }
  return writeTrackTable(settings, Lineage{}, tables.tracksPath, reason);
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
  if (tables.events != nullptr) std::fclose(tables.events);
  tables.cells = nullptr;
  tables.average = nullptr;
  tables.events = nullptr;
}

std::string formatDouble(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace focustrack
