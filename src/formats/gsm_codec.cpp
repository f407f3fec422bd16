#include "formats/gsm_codec.h"

#include <algorithm>

#include "formats/gsm_fixed_point.h"
#include "formats/gsm_rpe.h"

namespace klangor {

void LGsmEncoder::Encode(const int32_t* samples, LGsmParameters* parameters) {
  int16_t s[kGsmFrameSamples];
  for (int k = 0; k < kGsmFrameSamples; ++k) {
    const int64_t x = samples[k];
    const int64_t d = (x - previousInput_) * 1024 + offsetRemainder_;
    const int64_t y = (d + 512) >> 10;
    offsetRemainder_ = d - y;
    previousInput_ = x;
    const int64_t emphasised = (y - ((previousOffsetFree_ * 880 + 512) >> 10) + 16) >> 5;
    previousOffsetFree_ = y;
    s[k] = static_cast<int16_t>(std::clamp<int64_t>(emphasised, -32768, 32767));
  }
  Analyse(s, parameters);
}

void LGsmEncoder::Analyse(int16_t (&s)[kGsmFrameSamples], LGsmParameters* parameters) {
  GsmLpcAnalysis(s, &parameters->larc);
  shortTerm_.Filter(parameters->larc, s);  // s now holds the residual d
  for (int j = 0; j < kGsmSubframes; ++j) {
    LGsmSubframe& sub = parameters->subframes[static_cast<size_t>(j)];
    const int16_t* d = s + j * kGsmSubframeSamples;
    GsmLtpParameters(d, history_, &sub.nc, &sub.bc);
    int16_t dpp[kGsmSubframeSamples];
    int16_t e[kGsmSubframeSamples];
    GsmLtpFilter(sub.nc, sub.bc, d, history_, dpp, e);
    int16_t ep[kGsmSubframeSamples];
    GsmRpeEncode(e, &sub.rpe, ep);
    // The reconstructed residual, as the decoder will have it.
    std::copy(history_ + kGsmSubframeSamples, history_ + kGsmMaxLag, history_);
    int16_t* newest = history_ + kGsmMaxLag - kGsmSubframeSamples;
    for (int k = 0; k < kGsmSubframeSamples; ++k) newest[k] = gsm::Add(ep[k], dpp[k]);
  }
}

void LGsmDecoder::Synthesise(const LGsmParameters& parameters, int16_t (&sr)[kGsmFrameSamples]) {
  int16_t drp[kGsmFrameSamples];
  for (int j = 0; j < kGsmSubframes; ++j) {
    const LGsmSubframe& sub = parameters.subframes[static_cast<size_t>(j)];
    int16_t erp[kGsmSubframeSamples];
    GsmRpeDecode(sub.rpe, erp);
    longTerm_.Filter(sub.nc, sub.bc, erp, drp + j * kGsmSubframeSamples);
  }
  shortTerm_.Filter(parameters.larc, drp, sr);
}

void LGsmDecoder::Decode(const LGsmParameters& parameters, int32_t* samples) {
  int16_t sr[kGsmFrameSamples];
  Synthesise(parameters, sr);
  for (int k = 0; k < kGsmFrameSamples; ++k) {
    const int64_t out = int64_t{sr[k]} * 32 + ((previousOutput_ * 880 + 512) >> 10);
    previousOutput_ = out;
    samples[k] = static_cast<int32_t>(out);
  }
}

}  // namespace klangor
