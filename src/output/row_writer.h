// One row of a result table: every field is followed by ", ", the last one
// too, and the row is handed to the system when it ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace focustrack {

// Formats a double as the tables write it: six significant digits, the
// shorter of fixed and exponent notation; "nan", "inf", "-inf".
std::string formatDouble(double value);

// A missing file writes nothing and fails at the end of the row.
class RowWriter {
 public:
  explicit RowWriter(FILE* file) : file_(file) {}

  void integer(int64_t value) {
    if (file_ != nullptr) std::fprintf(file_, "%lld, ", static_cast<long long>(value));
  }
  void real(double value) { text(formatDouble(value)); }
  void text(const std::string& value) {
    if (file_ != nullptr) std::fprintf(file_, "%s, ", value.c_str());
  }
  void empty() {
    if (file_ != nullptr) std::fputs(", ", file_);
  }
  // Ends the row and hands it to the system (a table written whole at once
  // is flushed when closed instead); false when any part failed.
  bool end(bool flush = true) {
    if (file_ == nullptr) return false;
    std::fputc('\n', file_);
    const bool flushed = !flush || std::fflush(file_) == 0;
    return flushed && !std::ferror(file_);
  }

 private:
  FILE* file_;
};

}  // namespace focustrack
