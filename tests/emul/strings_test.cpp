// The Windows string functions: lstrcmpA's ordering rules and wsprintfA.
#include "platform/emul/kernel32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

int Sign(int n) {
  return (n > 0) - (n < 0);
}

} // namespace

TEST(Lstrcmp, LettersCompareWithoutCaseFirst) {
  EXPECT_LT(lstrcmpA("apple", "Banana"), 0);
  EXPECT_GT(lstrcmpA("banana", "APPLE"), 0);
  EXPECT_LT(lstrcmpA("KICK.WAV", "snare.wav"), 0); // strcmp would say the opposite
}

TEST(Lstrcmp, PunctuationBeforeDigitsBeforeLetters) {
  EXPECT_LT(lstrcmpA("_", "0"), 0);
  EXPECT_LT(lstrcmpA("9", "a"), 0);
  EXPECT_LT(lstrcmpA("file 2", "file1"), 0); // space is punctuation
  EXPECT_LT(lstrcmpA("z", "\xe9"), 0);       // bytes above 127 last
  EXPECT_LT(lstrcmpA("\x01", " "), 0);       // control characters first
}

TEST(Lstrcmp, ShorterPrefixFirstThenLowerCaseFirst) {
  EXPECT_LT(lstrcmpA("abc", "ABCD"), 0);
  EXPECT_LT(lstrcmpA("abc", "Abc"), 0);
  EXPECT_GT(lstrcmpA("ABC", "abc"), 0);
  EXPECT_LT(lstrcmpA("aBc", "Abc"), 0); // the first difference decides
}

TEST(Lstrcmp, EqualOnlyForIdenticalStringsAndConsistentBothWays) {
  std::vector<std::string> names = {"a", "A",  "ab",   "aB",   "Ab",    "_a",
                                    "1", "a1", "a_",   "kick", "",      " ",
                                    "Z", "z0", "\x7f", "\x80", "a.wav", "A.WAV"};
  for (const auto& x : names)
    for (const auto& y : names) {
      int xy = lstrcmpA(x.c_str(), y.c_str());
      EXPECT_EQ(xy == 0, x == y) << '"' << x << "\" \"" << y << '"';
      EXPECT_EQ(Sign(xy), -Sign(lstrcmpA(y.c_str(), x.c_str())));
    }
  // A total order: sorting by it and checking every neighbour is strictly increasing.
  std::sort(names.begin(), names.end(),
            [](const auto& x, const auto& y) { return lstrcmpA(x.c_str(), y.c_str()) < 0; });
  for (size_t i = 0; i + 2 < names.size(); ++i)
    EXPECT_LT(lstrcmpA(names[i].c_str(), names[i + 2].c_str()), 0);
  EXPECT_EQ(lstrcmpA(nullptr, ""), 0);
  EXPECT_LT(lstrcmpA(nullptr, "a"), 0);
}

TEST(Lstrcmp, CaseInsensitiveVariantIgnoresCaseOnly) {
  EXPECT_EQ(lstrcmpiA("Kick.WAV", "kick.wav"), 0);
  EXPECT_LT(lstrcmpiA("kick", "KICKS"), 0);
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
