#include "buffer_commands.h"

#include "clock.h"

#include <new>

namespace dsemu {
namespace {

// The same for the buffer itself and for what its caller is shown.
template <class State> void Apply(State& buffer, const Command& command) {
  switch (command.kind) {
  case CommandKind::Play:
    // A playing buffer keeps its place; only the looping changes.
    buffer.playing = true;
    buffer.looping = command.value != 0;
    break;
  case CommandKind::Stop:
    buffer.playing = false;
    break;
  case CommandKind::Position:
    buffer.cursor = Cursor{command.value, 0};
    break;
  case CommandKind::Volume:
    buffer.volume = static_cast<LONG>(command.value);
    break;
  case CommandKind::Pan:
    buffer.pan = static_cast<LONG>(command.value);
    break;
  case CommandKind::Frequency:
    buffer.frequency = command.value;
    break;
  }
}

} // namespace

HRESULT IssueCommand(Buffer& buffer, CommandKind kind, DWORD value) {
  const std::optional<uint64_t> at = CommandFrameLocked();
  if (!at && buffer.pending.empty()) {
    Apply(buffer, Command{0, kind, value});
    return DS_OK;
  }
  // Commands keep the order they were made in, whatever frames they were stamped with.
  uint64_t frame = at.value_or(0);
  if (!buffer.pending.empty())
    frame = std::max(frame, buffer.pending.back().frame);
  try {
    buffer.pending.push_back(Command{frame, kind, value});
  } catch (const std::bad_alloc&) {
    return DSERR_OUTOFMEMORY;
  }
  return DS_OK;
}

ShownState Shown(const Buffer& buffer) {
  ShownState state{buffer.playing,   buffer.looping, buffer.cursor,
                   buffer.frequency, buffer.volume,  buffer.pan};
  for (const Command& command : buffer.pending)
    Apply(state, command);
  return state;
}

uint64_t ApplyCommandsDue(Buffer& buffer, uint64_t frame) {
  while (!buffer.pending.empty() && buffer.pending.front().frame <= frame) {
    Apply(buffer, buffer.pending.front());
    buffer.pending.pop_front();
  }
  return buffer.pending.empty() ? UINT64_MAX : buffer.pending.front().frame;
}

} // namespace dsemu
