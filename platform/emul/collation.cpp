// Names compare level by level, as the system's sort keys do:
//  1. the first-level weights of their characters (letters with accents weigh as their
//     base letter; "ß", "æ", "œ" and "þ" weigh as two letters; the soft hyphen weighs
//     nothing; hyphens, apostrophes and control characters are left for level 4);
//  2. their accents, character by character;
//  3. their case, character by character;
//  4. the characters left out at level 1, by position (one nearer the start sorts after),
//     then by weight; a name with fewer of them first.
// The weights of every byte are generated from what the system answers
// (collation_weights.inc).
#include "collation.h"

#include <cstdint>

namespace {

struct Weight {
  uint16_t primary;
  uint8_t accent;
  uint8_t letterCase;
  uint8_t caseIgnored;
};

struct ByteWeights {
  uint8_t count;   // first-level weights; 0 for characters left out
  uint8_t special; // the level-4 weight of a character left out, 0 when ignored
  uint8_t specialCase;
  Weight weights[2];
};

const ByteWeights kBytes[256] = {
    /* 00 */ {0, 0x00, 0x00, {}},
#include "collation_weights.inc"
};

int Compare(unsigned x, unsigned y) {
  return x < y ? -1 : x > y ? 1 : 0;
}

// Walks the first-level weights of a name, counting them.
class Weights {
public:
  explicit Weights(const unsigned char* name) : at_(name) { Settle(); }
  const Weight* Current() const { return *at_ ? &kBytes[*at_].weights[index_] : nullptr; }
  void Next() {
    ++index_;
    Settle();
  }

private:
  void Settle() {
    while (*at_ && index_ >= kBytes[*at_].count) {
      ++at_;
      index_ = 0;
    }
  }
  const unsigned char* at_;
  unsigned index_ = 0;
};

// Walks the characters that level 4 compares, with their sort key's bytes: the position
// (the number of first-level weights before them, counted down from 0xFFFF), weight, case.
class Specials {
public:
  // Starts after a part of the name that carried `before` first-level weights.
  Specials(const unsigned char* name, unsigned before) : at_(name), before_(before) { Settle(); }
  bool Done() const { return !*at_; }
  unsigned Key() const {
    const ByteWeights& b = kBytes[*at_];
    return static_cast<unsigned>(static_cast<uint16_t>(0xFFFF - before_)) << 16 |
           unsigned{b.special} << 8 | b.specialCase;
  }
  void Next() {
    ++at_;
    Settle();
  }

private:
  void Settle() {
    for (; *at_ && !kBytes[*at_].special; ++at_)
      before_ += kBytes[*at_].count;
  }
  const unsigned char* at_;
  unsigned before_;
};

} // namespace

int CompareNames(const char* a, const char* b, bool ignoreCase) {
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  // A part both names share weighs the same at every level and leaves both walks in step,
  // so the comparison starts after it; the engine compares paths that differ near the end.
  for (; *x && *x == *y; ++x, ++y) {
  }
  if (*x == *y)
    return 0;
  // Levels 1 to 3 in one pass: once every first-level weight matched, the two names have
  // as many accents and cases, and the first difference among them decides.
  int accents = 0, cases = 0;
  Weights wx(x), wy(y);
  for (; wx.Current() && wy.Current(); wx.Next(), wy.Next()) {
    const Weight& p = *wx.Current();
    const Weight& q = *wy.Current();
    if (int order = Compare(p.primary, q.primary))
      return order;
    if (!accents)
      accents = Compare(p.accent, q.accent);
    if (!cases)
      cases =
          ignoreCase ? Compare(p.caseIgnored, q.caseIgnored) : Compare(p.letterCase, q.letterCase);
  }
  if (wx.Current() || wy.Current())
    return wx.Current() ? 1 : -1;
  if (accents)
    return accents;
  if (cases)
    return cases;
  // Level 4 counts positions from the start: the shared part's weights, counted only now.
  unsigned sharedWeights = 0;
  for (const auto* p = reinterpret_cast<const unsigned char*>(a); p != x; ++p)
    sharedWeights += kBytes[*p].count;
  Specials sx(x, sharedWeights), sy(y, sharedWeights);
  for (; !sx.Done() && !sy.Done(); sx.Next(), sy.Next())
    if (int order = Compare(sx.Key(), sy.Key()))
      return order;
  return Compare(!sx.Done(), !sy.Done());
}
