#include "host/outputs/recording.h"

#include "host/host_error.h"

#include "platform/emul/dsound/device_control.h"

#include <cstdio>

Recording::Recording(const std::filesystem::path& target,
                     const std::vector<std::filesystem::path>& inputs)
    : out_(target, inputs) {
  if (!dsemu::StartWavCapture(out_.temporary().c_str()))
    throw HostError(target.string() + ": cannot write the recording there");
}

Recording::~Recording() {
  if (capturing_)
    dsemu::StopWavCapture();
}

void Recording::Finish() {
  capturing_ = false;
  if (!dsemu::StopWavCapture())
    throw HostError(out_.target().string() + ": the recording could not be completed");
  out_.Commit();
  std::printf("recorded    %s\n", std::filesystem::absolute(out_.target()).string().c_str());
}
