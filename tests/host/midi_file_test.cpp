// The MIDI file reader on valid events the library cannot read as they stand, and on
// damage it must refuse with the place named.
#include "host/host_error.h"
#include "host/sources/midi_file.h"
#include "kit/kit_error.h"

#include "tests/support/midi_files.h"

#include <gtest/gtest.h>

namespace {

using namespace midifile;

MidiSong Parse(const std::string& file) {
  return ParseMidiFile(file.data(), file.size(), "s.mid");
}

TEST(MidiFile, EscapedEventsAndLongMetaEventsLeaveTheNotesInPlace) {
  std::string text(200, 't');
  std::string file =
      File(0, 480,
           {Track({{0, "\x99\x24\x64"},
                   {10, std::string("\xF7\x03\x99\x26\x64", 5)},
                   {0, "\xFF\x01" + VariableLength(200) + text},
                   {0, std::string("\xFF\x7F\x80\x80\x80\x02\x01\x02", 8)}, // length in four bytes
                   {0, std::string("\xF0\x03\x7E\x01\xF7", 5)},
                   {20, std::string("\x89\x24\x00", 3)}})});
  MidiSong song = Parse(file);
  ASSERT_EQ(song.messages.size(), 2u);
  EXPECT_EQ(song.messages[0].frame, 0u);
  EXPECT_EQ(song.messages[0].status, 0x99);
  // 30 pulses at 480 a quarter note of half a second: 1378.125 frames.
  EXPECT_EQ(song.messages[1].frame, 1378u);
  EXPECT_EQ(song.messages[1].status, 0x89);
  EXPECT_EQ(song.messages[1].data1, 0x24);
}

TEST(MidiFile, DamageIsRefusedWithItsPlace) {
  struct Case {
    std::vector<Event> events;
    const char* message;
  } cases[] = {
      {{{0, "\x99\x24\x64"}, {0, std::string("\xFF\x01\x01x", 4)}, {0, std::string("\x26\x64")}},
       "s.mid: track 1 has a data byte where an event must start"},
      {{{0, std::string("\xFF\x51\x02\x07\xA1", 5)}},
       "s.mid: track 1 has a tempo change of 2 bytes; it must have 3"},
      {{{0, std::string("\xFF\x51\x80\x03\x07\xA1\x20", 7)}},
       "s.mid: track 1 has a tempo change whose length is written in 2 bytes, not one"},
      {{{0, "\xF4"}}, "s.mid: track 1 has an event of unknown kind (status byte 244)"},
  };
  for (const Case& c : cases) {
    try {
      Parse(File(0, 480, {Track(c.events)}));
      ADD_FAILURE() << "read: " << c.message;
    } catch (const KitError& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
  }
}

} // namespace
