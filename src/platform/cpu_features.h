#pragma once
// Processor features that pick a hot loop's code path at run time.

#include <utility>

namespace klangor {

// True when the processor runs AVX2 and it is allowed: a non-empty KLANGOR_NO_AVX2 in the
// environment forbids it, and so does SetAvx2Allowed(false).
bool UseAvx2();

// Allows or forbids AVX2 from now on (tests run both paths). Forbidding always holds;
// allowing still needs the processor.
void SetAvx2Allowed(bool allowed);

// Runs an always-inline body compiled for AVX2 when `avx2` holds and for the baseline x86-64
// otherwise: one source gives both code paths, and the build runs on any x86-64. A body may
// come in two instances (a template on whether it may use AVX2 intrinsics): `Avx2Body` then
// runs on AVX2 and `PortableBody` elsewhere. The results must not depend on the path (integer
// or exactly rounded arithmetic, no fused multiply-adds).
#if defined(__x86_64__)
template <auto Body, typename... Args>
[[gnu::target("avx2"), gnu::noinline]] decltype(auto) RunAvx2Code(Args&&... args) {
  return Body(std::forward<Args>(args)...);
}
#endif

template <auto Body, typename... Args>
[[gnu::noinline]] decltype(auto) RunPortableCode(Args&&... args) {
  return Body(std::forward<Args>(args)...);
}

template <auto Avx2Body, auto PortableBody = Avx2Body, typename... Args>
decltype(auto) RunCode(bool avx2, Args&&... args) {
#if defined(__x86_64__)
  if (avx2) return RunAvx2Code<Avx2Body>(std::forward<Args>(args)...);
#endif
  return RunPortableCode<PortableBody>(std::forward<Args>(args)...);
}

// The same, on AVX2 whenever UseAvx2() holds at the call.
template <auto Body, typename... Args>
decltype(auto) RunBestCode(Args&&... args) {
  return RunCode<Body>(UseAvx2(), std::forward<Args>(args)...);
}

}  // namespace klangor
