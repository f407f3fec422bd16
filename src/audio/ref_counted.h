#pragma once
// Intrusive, thread-safe reference counting for streams, sinks and documents.
//
// An object starts with no holder; every LRef that points at it is one holder, and the
// holder that drops the last reference destroys it. Counts are atomic because streams are
// handed to worker threads (playback, waveform columns). Hold these objects only through
// LRef: never delete them, never keep raw pointers beyond the life of an LRef.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace klangor {

class LRefCounted {
 public:
  LRefCounted(const LRefCounted&) = delete;
  LRefCounted& operator=(const LRefCounted&) = delete;

  void AddRef() const noexcept { count_.fetch_add(1, std::memory_order_relaxed); }
  void Release() const noexcept {
    if (count_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  uint32_t RefCount() const noexcept { return count_.load(std::memory_order_relaxed); }

 protected:
  LRefCounted() = default;
  virtual ~LRefCounted() = default;

 private:
  mutable std::atomic<uint32_t> count_{0};
};

// The owning handle: one reference while it points at an object.
template <class T>
class LRef {
 public:
  LRef() = default;
  LRef(std::nullptr_t) {}  // NOLINT: a null handle converts implicitly, like a pointer
  explicit LRef(T* object) : object_(object) {
    // Through the base, so that a derived class's own AddRef/Release cannot hide the count.
    if (object_ != nullptr) static_cast<const LRefCounted*>(object_)->AddRef();
  }
  LRef(const LRef& other) : LRef(other.object_) {}
  LRef(LRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  LRef(const LRef<U>& other) : LRef(other.Get()) {}  // NOLINT: upcasts are implicit
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  LRef(LRef<U>&& other) noexcept : object_(other.Detach()) {}  // NOLINT
  ~LRef() { Reset(); }

  LRef& operator=(LRef other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }

  void Reset() {
    if (T* old = std::exchange(object_, nullptr)) static_cast<const LRefCounted*>(old)->Release();
  }
  // Gives up the handle's reference without releasing it (for moves between handle types).
  T* Detach() { return std::exchange(object_, nullptr); }

  T* Get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }
  friend bool operator==(const LRef& a, const LRef& b) { return a.object_ == b.object_; }

 private:
  T* object_ = nullptr;
};

template <class T, class... Args>
LRef<T> MakeRef(Args&&... args) {
  return LRef<T>(new T(std::forward<Args>(args)...));
}

}  // namespace klangor
