// Buffer: an array obtained with calloc. Zero-filled, lazily mapped, and a
// failed request is a null pointer the caller can test, so that every buffer
// of a run can be requested first and tested afterwards. A table that a frame
// can outgrow grows in place, keeping its contents.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace focustrack {

template <class T>
class Buffer {
 public:
  Buffer() = default;
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  ~Buffer() { std::free(data_); }

  // Returns false when the request does not fit or cannot be met.
  bool obtain(uint64_t count) {
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
    if (count == 0 || count > SIZE_MAX / sizeof(T)) return false;
    data_ = static_cast<T*>(std::calloc(static_cast<size_t>(count), sizeof(T)));
    if (data_ != nullptr) size_ = static_cast<size_t>(count);
    return data_ != nullptr;
  }
  // Enlarges the buffer to `count` entries, keeping the first size() entries
  // and zero-filling the new ones. A count not above size() changes nothing.
  // False (buffer unchanged) when the memory cannot be obtained.
  bool grow(uint64_t count) {
    if (count <= size_) return true;
    if (count > SIZE_MAX / sizeof(T)) return false;
    void* larger = std::realloc(data_, static_cast<size_t>(count) * sizeof(T));
    if (larger == nullptr) return false;
    data_ = static_cast<T*>(larger);
    std::memset(static_cast<void*>(data_ + size_), 0, (static_cast<size_t>(count) - size_) * sizeof(T));
    size_ = static_cast<size_t>(count);
    return true;
  }
  void release() {
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
  }
  void swap(Buffer& other) {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
  }

  T* data() { return data_; }
  const T* data() const { return data_; }
  size_t size() const { return size_; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }

 private:
  T* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace focustrack
