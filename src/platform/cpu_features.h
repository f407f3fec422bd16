#pragma once
// Processor features that pick a hot loop's code path once at run time.

namespace klangor {

// True when the processor runs AVX2 and it is allowed: a non-empty KLANGOR_NO_AVX2 in the
// environment forbids it, and so does SetAvx2Allowed(false).
bool UseAvx2();

// Allows or forbids AVX2 from now on (tests run both paths). Forbidding always holds;
// allowing still needs the processor.
void SetAvx2Allowed(bool allowed);

}  // namespace klangor
