// A strict JSON syntax check (RFC 8259) for the run manifest: objects,
// arrays, strings with their escapes, numbers, true, false, null. Bare words
// such as nan or inf are not JSON and fail.
#pragma once

#include <cctype>
#include <string>

namespace focustrack {

class JsonCheck {
 public:
  explicit JsonCheck(const std::string& text) : text_(text) {}

  // True when the whole text is one JSON value with optional white space.
  bool valid() {
    at_ = 0;
    space();
    if (!value(0)) return false;
    space();
    return at_ == text_.size();
  }

 private:
  static constexpr int kDeepest = 64;

  char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  bool take(char c) {
    if (peek() != c) return false;
    ++at_;
    return true;
  }
  void space() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t')) ++at_;
  }
  bool word(const char* w) {
    const std::string expected(w);
    if (text_.compare(at_, expected.size(), expected) != 0) return false;
    at_ += expected.size();
    return true;
  }
  bool digits() {
    const size_t start = at_;
    while (std::isdigit(static_cast<unsigned char>(peek()))) ++at_;
    return at_ > start;
  }
  bool number() {
    take('-');
    if (!take('0') && !digits()) return false;
    if (take('.') && !digits()) return false;
    if (take('e') || take('E')) {
      if (!take('+')) take('-');
      if (!digits()) return false;
    }
    return true;
  }
  bool string() {
    if (!take('"')) return false;
    while (at_ < text_.size()) {
      const unsigned char c = static_cast<unsigned char>(text_[at_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') continue;
      const char e = peek();
      ++at_;
      if (e == 'u') {
        for (int k = 0; k < 4; ++k) {
          if (!std::isxdigit(static_cast<unsigned char>(peek()))) return false;
          ++at_;
        }
      } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos || e == '\0') {
        return false;
      }
    }
    return false;
  }
  template <class Item>
  bool sequence(char close, Item item) {
    space();
    if (take(close)) return true;
    do {
      space();
      if (!item()) return false;
      space();
    } while (take(','));
    return take(close);
  }
  bool value(int depth) {
    if (depth > kDeepest) return false;
    const char c = peek();
    if (c == '{') {
      ++at_;
      return sequence('}', [&] {
        if (!string()) return false;
        space();
        if (!take(':')) return false;
        space();
        return value(depth + 1);
      });
    }
    if (c == '[') {
      ++at_;
      return sequence(']', [&] { return value(depth + 1); });
    }
    if (c == '"') return string();
    if (c == 't') return word("true");
    if (c == 'f') return word("false");
    if (c == 'n') return word("null");
    return number();
  }

  const std::string& text_;
  size_t at_ = 0;
};

inline bool isJson(const std::string& text) { return JsonCheck(text).valid(); }

}  // namespace focustrack
