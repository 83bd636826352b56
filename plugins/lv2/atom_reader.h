// Reading what the host puts on the control port without trusting any size inside it: an
// event or property whose header or body would run past its container ends the walk, so
// hostile input can make the plugin ignore events, never read past a buffer.
#pragma once

#include <lv2/atom/atom.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace za32::lv2 {

inline size_t PaddedSize(uint32_t size) {
  return (size_t(size) + 7) & ~size_t(7);
}

// Calls `visit(frames, atom)` for each whole event of `sequence`.
template <typename Visit> void ForEachEvent(const LV2_Atom_Sequence* sequence, Visit&& visit) {
  if (!sequence || sequence->atom.size < sizeof(LV2_Atom_Sequence_Body))
    return;
  const auto* at =
      reinterpret_cast<const uint8_t*>(&sequence->body) + sizeof(LV2_Atom_Sequence_Body);
  const auto* end = reinterpret_cast<const uint8_t*>(&sequence->body) + sequence->atom.size;
  while (size_t(end - at) >= sizeof(LV2_Atom_Event)) {
    const auto* event = reinterpret_cast<const LV2_Atom_Event*>(at);
    size_t rest = size_t(end - at) - sizeof(LV2_Atom_Event);
    if (event->body.size > rest)
      return;
    visit(event->time.frames, &event->body);
    size_t step = sizeof(LV2_Atom_Event) + PaddedSize(event->body.size);
    if (step >= size_t(end - at))
      return;
    at += step;
  }
}

// The value of `key` in `object` (an atom whose type the caller has checked is an
// object), or null when it has none or the object is damaged.
inline const LV2_Atom* ObjectValue(const LV2_Atom_Object* object, uint32_t key) {
  if (object->atom.size < sizeof(LV2_Atom_Object_Body))
    return nullptr;
  const auto* at = reinterpret_cast<const uint8_t*>(&object->body) + sizeof(LV2_Atom_Object_Body);
  const auto* end = reinterpret_cast<const uint8_t*>(&object->body) + object->atom.size;
  while (size_t(end - at) >= sizeof(LV2_Atom_Property_Body)) {
    const auto* property = reinterpret_cast<const LV2_Atom_Property_Body*>(at);
    size_t rest = size_t(end - at) - sizeof(LV2_Atom_Property_Body);
    if (property->value.size > rest)
      return nullptr;
    if (property->key == key)
      return &property->value;
    size_t step = sizeof(LV2_Atom_Property_Body) + PaddedSize(property->value.size);
    if (step >= size_t(end - at))
      return nullptr;
    at += step;
  }
  return nullptr;
}

// The text of a string or path atom: non-empty, ending in its one NUL. Null otherwise.
inline const char* AtomText(const LV2_Atom* atom, uint32_t stringType, uint32_t pathType,
                            size_t* length) {
  if (!atom || (atom->type != stringType && atom->type != pathType) || atom->size < 2)
    return nullptr;
  const char* text = reinterpret_cast<const char*>(atom + 1);
  size_t n = strnlen(text, atom->size);
  if (n + 1 != atom->size)
    return nullptr;
  *length = n;
  return text;
}

// A MIDI channel message of the length its status byte gives: a status byte, then data
// bytes only. System messages (sysex, clock, ...) are not channel messages.
inline bool IsChannelMessage(const uint8_t* bytes, size_t size) {
  if (size == 0 || bytes[0] < 0x80 || bytes[0] >= 0xF0)
    return false;
  uint8_t kind = bytes[0] & 0xF0;
  size_t expected = (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
  if (size != expected)
    return false;
  for (size_t i = 1; i < size; ++i)
    if (bytes[i] & 0x80)
      return false;
  return true;
}

} // namespace za32::lv2
