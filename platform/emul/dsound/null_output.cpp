// The null output: periods mixed on a thread of its own at the pace of the wall clock,
// for machines without a sound card and for tests in real time.
#include "output_backend.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace dsemu {
namespace {

using Clock = std::chrono::steady_clock;

FillFunction filler = nullptr;
void* fillContext = nullptr;
unsigned periodFrames = 0;
unsigned outputRate = 0;
std::thread thread;
std::mutex lock;
std::condition_variable wake;
bool stopping = false; // guarded by lock

void Loop() {
  std::vector<float> left(periodFrames), right(periodFrames);
  float* const channels[2] = {left.data(), right.data()};
  const auto period = std::chrono::duration<double>(double(periodFrames) / outputRate);
  const auto started = Clock::now();
  for (uint64_t periods = 1;; ++periods) {
    const auto due =
        started + std::chrono::duration_cast<Clock::duration>(period * double(periods));
    {
      std::unique_lock guard(lock);
      if (wake.wait_until(guard, due, [] { return stopping; }))
        return;
    }
    filler(fillContext, channels, periodFrames);
  }
}

bool Open(FillFunction fill, void* context, unsigned* rate, unsigned* period, std::string*) {
  filler = fill;
  fillContext = context;
  periodFrames = *period;
  outputRate = *rate;
  return true;
}

bool Start(std::string* reason) {
  stopping = false;
  try {
    thread = std::thread(Loop);
  } catch (const std::system_error& error) {
    *reason = error.what();
    return false;
  }
  return true;
}

void Stop() {
  {
    std::lock_guard guard(lock);
    stopping = true;
  }
  wake.notify_all();
  thread.join();
}

void Close() {}

unsigned Held() {
  return 0;
}

} // namespace

const OutputBackend kNullOutput{"null",  true, Open,    Start,   Stop,   Close,
                                nullptr, Held, nullptr, nullptr, nullptr};

} // namespace dsemu
