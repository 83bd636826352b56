// The Windows string functions: lstrcmpA's ordering rules and wsprintfA.
#include "platform/emul/kernel32.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int Sign(int n) {
  return (n > 0) - (n < 0);
}

} // namespace

// The rules at work, in examples; collation_test.cpp checks every recorded pair.
TEST(Lstrcmp, OrdersNamesAsTheSystemDoes) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"apple", "Banana", -1}, // case counts only where all else is equal
      {"KICK.WAV", "snare.wav", -1},
      {"abc", "Abc", -1},
      {"ab", "a-b", -1}, // hyphen and apostrophe count only by position, at the end
      {"a-b", "abc", -1},
      {"abc", "ab-c", -1},
      {"co'op", "coop", 1},
      {"ete.wav", "\xe9t\xe9.wav", -1}, // accented letters sort with their base letter
      {"\xe9t\xe9.wav", "ez.wav", -1},
      {"\xdf.wav", "ss.wav", 0}, // expansions
      {"\xe6.wav", "ae.wav", 0},
      {"kick\xad.wav", "kick.wav", 0}, // the soft hyphen weighs nothing
      {"kick,1.wav", "kick.wav", -1},  // punctuation has its own order
      {"kick.wav", "kick;1.wav", -1},
      {"file 2", "file1", -1},
      {"kick2", "kick10", 1}, // digits compare one by one
      {nullptr, "", 0},
      {nullptr, "a", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sign(lstrcmpA(c.a, c.b)), c.sign) << (c.a ? c.a : "(null)") << " vs " << c.b;
    EXPECT_EQ(Sign(lstrcmpA(c.b, c.a)), -c.sign) << c.b;
  }
}

TEST(Lstrcmp, CaseInsensitiveVariantIgnoresCaseOnly) {
  EXPECT_EQ(lstrcmpiA("Kick.WAV", "kick.wav"), 0);
  EXPECT_EQ(lstrcmpiA("\xc6.wav", "ae.WAV"), 0);
  EXPECT_LT(lstrcmpiA("kick", "KICKS"), 0);
  EXPECT_LT(lstrcmpiA("ete", "\xc9TE"), 0);
}

TEST(StringCopies, CopyConcatenateAndLength) {
  char buffer[32];
  EXPECT_EQ(lstrcpyA(buffer, "C:\\dir"), buffer);
  EXPECT_EQ(lstrcatA(buffer, "\\x.wav"), buffer);
  EXPECT_STREQ(buffer, "C:\\dir\\x.wav");
  EXPECT_EQ(lstrlenA(buffer), 12);
  EXPECT_EQ(lstrlenA(nullptr), 0);
  lstrcpynA(buffer, "abcdef", 4);
  EXPECT_STREQ(buffer, "abc");
}

TEST(Wsprintf, IntegersStringsAndCharacters) {
  char out[1100];
  EXPECT_EQ(wsprintfA(out, "%d %i %u", -5, 7, 4000000000u), 15);
  EXPECT_STREQ(out, "-5 7 4000000000");
  wsprintfA(out, "%x %X %08lX %#x", 255, 255, 0x8878000Au, 16);
  EXPECT_STREQ(out, "ff FF 8878000A 0x10");
  wsprintfA(out, "[%-4s][%4s][%.2s][%c][%%]", "ab", "ab", "abcdef", 'Z');
  EXPECT_STREQ(out, "[ab  ][  ab][ab][Z][%]");
  wsprintfA(out, "%s", static_cast<const char*>(nullptr));
  EXPECT_STREQ(out, "(null)");
}

TEST(Wsprintf, KnowsNoFloatingPointAndStopsAt1024Characters) {
  char out[1100];
  wsprintfA(out, "%f|%d", 3);
  EXPECT_STREQ(out, "%f|3");
  std::string longText(2000, 'x');
  EXPECT_EQ(wsprintfA(out, "%s%s", longText.c_str(), "tail"), 1024);
  EXPECT_EQ(std::string(out), std::string(1024, 'x'));
}
