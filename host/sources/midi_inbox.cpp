#include "host/sources/midi_input.h"

#include <cerrno>
#include <ctime>
#include <filesystem>

MidiInbox::MidiInbox() {
  sem_init(&arrived_, 0, 0);
}

MidiInbox::~MidiInbox() {
  sem_destroy(&arrived_);
}

void MidiInbox::Put(const InboxMessage& message) {
  size_t head = head_.load(std::memory_order_relaxed);
  size_t next = (head + 1) % kSize;
  if (next == tail_.load(std::memory_order_acquire)) {
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  slots_[head] = message;
  head_.store(next, std::memory_order_release);
  sem_post(&arrived_);
}

bool MidiInbox::Take(InboxMessage* message) {
  size_t tail = tail_.load(std::memory_order_relaxed);
  if (tail == head_.load(std::memory_order_acquire))
    return false;
  *message = slots_[tail];
  tail_.store((tail + 1) % kSize, std::memory_order_release);
  return true;
}

bool MidiInbox::Wait(unsigned milliseconds) {
  timespec until;
  clock_gettime(CLOCK_REALTIME, &until);
  until.tv_nsec += long(milliseconds % 1000) * 1'000'000;
  until.tv_sec += milliseconds / 1000 + until.tv_nsec / 1'000'000'000;
  until.tv_nsec %= 1'000'000'000;
  while (sem_timedwait(&arrived_, &until) != 0)
    if (errno != EINTR)
      return false;
  return true;
}

bool AlsaSequencerPresent() {
  std::error_code error;
  return std::filesystem::exists("/dev/snd/seq", error);
}
