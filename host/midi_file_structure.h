// The chunks and events of a standard MIDI file walked once before libsmf reads it:
// libsmf stops the whole program (a failed assertion) on a track that ends without its
// end-of-track event or on a chunk longer than the file, so such files are refused here
// with a message that says where they are damaged.
#pragma once

#include <cstddef>
#include <string>

// Throws HostError naming `source` and the damage.
void CheckMidiStructure(const unsigned char* bytes, size_t size, const std::string& source);
