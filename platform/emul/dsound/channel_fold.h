// Folding a buffer of more than two channels to the device's stereo.
//
// Each channel takes the speaker position the extensible block's channel mask gives it
// (the mask's set bits, lowest first, in channel order); without a mask, and for the
// plain tags, the usual layout for the count: 3 front left, right, centre; 4 front
// left, right, back left, right; 5 those and centre; 6 (5.1) front left, right,
// centre, low-frequency, back left, right; 7 (6.1) those and back centre; 8 (7.1) the
// 5.1 set and side left, right. A left speaker (front, front-of-centre, side, back, top
// front and top back left) feeds the left output at 1, a right one the right output;
// the low-frequency channel is left out; every other channel (centres, and channels
// with no position) feeds both at 1/sqrt(2). Both outputs are then divided by the
// larger of the two sums of weights, so that full scale on every channel folds to full
// scale and never beyond.
#pragma once

#include "dsound.h"

#include <vector>

namespace dsemu {

// The left and right weights of each of `channels` channels laid out by `mask` (zero:
// the usual layout).
void FoldWeights(unsigned channels, DWORD mask, std::vector<float>* left,
                 std::vector<float>* right);

} // namespace dsemu
