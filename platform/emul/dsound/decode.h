// Reading a buffer's samples as floats (full scale 1.0) for the resamplers: one or two
// planar channels, whatever the buffer holds, so that the resamplers see one layout.
#pragma once

#include "formats.h"

#include <cstddef>
#include <cstdint>

namespace dsemu {

// Decodes `count` frames of the buffer starting at frame `first` into planar floats.
// Frames outside 0 .. frames - 1 wrap round when `looping` and are silence otherwise, so
// the resamplers read one straight run across a loop point or past the end. More than
// two channels fold to stereo (channel_fold.h). For a mono buffer `right` may be null.
void DecodeFrames(const SampleFormat& format, const BYTE* data, size_t frames, bool looping,
                  int64_t first, size_t count, float* left, float* right);

} // namespace dsemu
