#include "platform/cpu_features.h"

#include <atomic>
#include <cstdlib>

namespace klangor {
namespace {

bool ProcessorHasAvx2() {
#if defined(__x86_64__) && defined(__GNUC__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

bool EnvironmentAllowsAvx2() {
  const char* forbid = std::getenv("KLANGOR_NO_AVX2");
  return forbid == nullptr || forbid[0] == '\0';
}

std::atomic<bool>& Allowed() {
  static std::atomic<bool> allowed{EnvironmentAllowsAvx2()};
  return allowed;
}

}  // namespace

bool UseAvx2() {
  static const bool hasAvx2 = ProcessorHasAvx2();
  return hasAvx2 && Allowed().load(std::memory_order_relaxed);
}

void SetAvx2Allowed(bool allowed) { Allowed().store(allowed && EnvironmentAllowsAvx2(), std::memory_order_relaxed); }

}  // namespace klangor
