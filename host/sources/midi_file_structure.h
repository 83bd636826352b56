// The chunks and events of a standard MIDI file walked once before libsmf reads it.
// libsmf 1.3 stops the whole program (a failed assertion) on an escaped event (0xF7),
// on a track that ends without its end-of-track event and on a chunk longer than the
// file, and it reads a meta event's length as one byte, losing its place in the track
// after any meta event of 128 bytes or more. Such damage is refused here with a message
// that says where the file is damaged; the valid events libsmf cannot read are handed
// to it as system exclusive events of the same size, which the player ignores as it
// would ignore them.
#pragma once

#include <cstddef>
#include <string>

// The bytes for libsmf: the file, with escaped events and long meta events rewritten in
// place. Throws HostError naming `source` and the damage.
std::string PrepareMidiForLibrary(const unsigned char* bytes, size_t size,
                                  const std::string& source);
