// Reads a result table back: the header names and the rows as text fields.
// Every field is followed by ", ", the last one too.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace focustrack {

struct ResultTable {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;

  // Position of a column by its header name; -1 when there is none.
  int column(const std::string& name) const {
    for (size_t k = 0; k < header.size(); ++k) {
      if (header[k] == name) return static_cast<int>(k);
    }
    return -1;
  }
  const std::string& text(size_t row, const std::string& name) const { return rows[row][column(name)]; }
  long integer(size_t row, const std::string& name) const { return std::atol(text(row, name).c_str()); }
  double real(size_t row, const std::string& name) const { return std::atof(text(row, name).c_str()); }
  std::vector<long> ids(size_t row, const std::string& name) const {
    std::istringstream words(text(row, name));
    std::vector<long> list;
    for (long id = 0; words >> id;) list.push_back(id);
    return list;
  }
};

inline std::vector<std::string> splitRow(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t end = line.find(", "); end != std::string::npos; end = line.find(", ", start)) {
    fields.push_back(line.substr(start, end - start));
    start = end + 2;
  }
  return fields;
}

inline ResultTable readResultTable(const std::string& path) {
  ResultTable table;
  std::ifstream in(path);
  std::string line;
  if (std::getline(in, line)) table.header = splitRow(line);
  while (std::getline(in, line)) table.rows.push_back(splitRow(line));
  return table;
}

}  // namespace focustrack
