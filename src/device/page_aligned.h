// Buffers handed to a drive start on a page boundary. Adapters state the
// alignment they need of a data buffer (the pass-through's AlignmentMask;
// some need 8 bytes, DMA engines may need more), and a page meets all of
// them. Over-allocates with plain new rather than aligned new, whose runtime
// call the oldest Windows releases lack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

inline constexpr std::size_t kDriveBufferAlignment = 4096;

template <typename T>
struct PageAlignedAllocator {
  using value_type = T;

  PageAlignedAllocator() = default;
  template <typename U>
  explicit PageAlignedAllocator(const PageAlignedAllocator<U>& /*other*/) {}

  T* allocate(std::size_t count) {
    if (count > (SIZE_MAX - kDriveBufferAlignment - sizeof(void*)) / sizeof(T)) {
      throw std::bad_alloc();
    }
    auto* raw = new unsigned char[count * sizeof(T) + kDriveBufferAlignment + sizeof(void*)];
    unsigned char* first = raw + sizeof(void*);
    const std::size_t past = reinterpret_cast<std::uintptr_t>(first) % kDriveBufferAlignment;
    unsigned char* data = first + (past == 0 ? 0 : kDriveBufferAlignment - past);
    // The block's own start sits just before the aligned data.
    std::memcpy(data - sizeof(void*), &raw, sizeof raw);
    return reinterpret_cast<T*>(data);
  }

  void deallocate(T* data, std::size_t /*count*/) noexcept {
    unsigned char* raw = nullptr;
    std::memcpy(&raw, reinterpret_cast<unsigned char*>(data) - sizeof(void*), sizeof raw);
    delete[] raw;
  }

  template <typename U>
  bool operator==(const PageAlignedAllocator<U>& /*other*/) const {
    return true;
  }
};
