// One row of a result table: every field is followed by ", ", the last one
// too, and the row is handed to the system when it ends.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>

namespace focustrack {

// Formats a double as the tables write it: six significant digits, the
// shorter of fixed and exponent notation; "nan", "inf", "-inf".
std::string formatDouble(double value);

// A missing file writes nothing and fails at the end of the row. The first
// failure's errno is kept for the message.
class RowWriter {
 public:
  explicit RowWriter(FILE* file) : file_(file) {}

  void integer(int64_t value) {
    if (file_ != nullptr) check(std::fprintf(file_, "%lld, ", static_cast<long long>(value)) >= 0);
  }
  void real(double value) { text(formatDouble(value)); }
  void text(const std::string& value) {
    if (file_ != nullptr) check(std::fprintf(file_, "%s, ", value.c_str()) >= 0);
  }
  void empty() {
    if (file_ != nullptr) check(std::fputs(", ", file_) >= 0);
  }
  // Ends the row and hands it to the system (a table written whole at once
  // is flushed when closed instead); false when any part failed.
  bool end(bool flush = true) {
    if (file_ == nullptr) return false;
    check(std::fputc('\n', file_) != EOF);
    if (flush) check(std::fflush(file_) == 0);
    check(!std::ferror(file_));
    return error_ == 0;
  }
  // errno of the first failure, 0 when none.
  int error() const { return error_; }

 private:
  void check(bool ok) {
    if (!ok && error_ == 0) error_ = errno != 0 ? errno : EIO;
  }

  FILE* file_;
  int error_ = 0;
};

}  // namespace focustrack
