#include "channel_fold.h"

#include <algorithm>
#include <cmath>

namespace dsemu {
namespace {

// Speaker positions of a channel mask.
constexpr DWORD kFrontLeft = 0x1;
constexpr DWORD kFrontRight = 0x2;
constexpr DWORD kFrontCentre = 0x4;
constexpr DWORD kLowFrequency = 0x8;
constexpr DWORD kBackLeft = 0x10;
constexpr DWORD kBackRight = 0x20;
constexpr DWORD kFrontLeftOfCentre = 0x40;
constexpr DWORD kFrontRightOfCentre = 0x80;
constexpr DWORD kBackCentre = 0x100;
constexpr DWORD kSideLeft = 0x200;
constexpr DWORD kSideRight = 0x400;
constexpr DWORD kTopFrontLeft = 0x1000;
constexpr DWORD kTopFrontRight = 0x4000;
constexpr DWORD kTopBackLeft = 0x8000;
constexpr DWORD kTopBackRight = 0x20000;

constexpr DWORD kLeftSpeakers =
    kFrontLeft | kBackLeft | kFrontLeftOfCentre | kSideLeft | kTopFrontLeft | kTopBackLeft;
constexpr DWORD kRightSpeakers =
    kFrontRight | kBackRight | kFrontRightOfCentre | kSideRight | kTopFrontRight | kTopBackRight;

DWORD UsualLayout(unsigned channels) {
  constexpr DWORD front = kFrontLeft | kFrontRight;
  constexpr DWORD back = kBackLeft | kBackRight;
  switch (channels) {
  case 3:
    return front | kFrontCentre;
  case 4:
    return front | back;
  case 5:
    return front | kFrontCentre | back;
  case 6:
    return front | kFrontCentre | kLowFrequency | back;
  case 7:
    return front | kFrontCentre | kLowFrequency | back | kBackCentre;
  case 8:
    return front | kFrontCentre | kLowFrequency | back | kSideLeft | kSideRight;
  default:
    return 0;
  }
}

} // namespace

void FoldWeights(unsigned channels, DWORD mask, std::vector<float>* left,
                 std::vector<float>* right) {
  if (mask == 0)
    mask = UsualLayout(channels);
  const double centre = std::sqrt(0.5);
  std::vector<double> toLeft(channels, centre);
  std::vector<double> toRight(channels, centre);
  for (unsigned channel = 0; channel < channels && mask != 0; ++channel) {
    const DWORD position = mask & (~mask + 1); // the lowest set bit
    mask &= mask - 1;
    if (position & kLeftSpeakers) {
      toLeft[channel] = 1;
      toRight[channel] = 0;
    } else if (position & kRightSpeakers) {
      toLeft[channel] = 0;
      toRight[channel] = 1;
    } else if (position == kLowFrequency) {
      toLeft[channel] = 0;
      toRight[channel] = 0;
    }
  }
  double sumLeft = 0;
  double sumRight = 0;
  for (unsigned channel = 0; channel < channels; ++channel) {
    sumLeft += toLeft[channel];
    sumRight += toRight[channel];
  }
  const double scale = 1.0 / std::max({sumLeft, sumRight, 1.0});
  left->resize(channels);
  right->resize(channels);
  for (unsigned channel = 0; channel < channels; ++channel) {
    (*left)[channel] = static_cast<float>(toLeft[channel] * scale);
    (*right)[channel] = static_cast<float>(toRight[channel] * scale);
  }
}

} // namespace dsemu
