#include "timeline.h"

#include "host_error.h"

#include <algorithm>
#include <cmath>

namespace {

// Within one frame: setting changes first, so that a note started there already has
// them; then note-offs, so that a key stopped and started at once is started again.
enum Rank { kChange = 0, kNoteOff = 1, kNoteOn = 2 };

struct Pending {
  TimedMessage message;
  Rank rank;
};

UINT MessageFor(Setting setting) {
  switch (setting) {
  case Setting::PitchBend:
    return AM_BEND;
  case Setting::Loop:
    return AM_LOOP;
  case Setting::Bend:
    return AM_BENDENABLE;
  case Setting::VelocitySense:
    return AM_VELOCITYSENSE;
  case Setting::Mute:
    return AM_MUTE;
  case Setting::Hold:
    return AM_HOLD;
  case Setting::Note:
    return AM_NOTEPITCH;
  case Setting::FineTune:
    return AM_FINETUNE;
  case Setting::Volume:
    return AM_VOLUME;
  case Setting::Pan:
    return AM_PAN;
  }
  return AM_BEND;
}

// The key a pattern names by its code; the key must have a sample.
int PlayableKey(const Kit& kit, const Pattern& pattern, int keyCode, const std::string& where) {
  int index = KeyIndexForCode(kit, keyCode);
  if (index < 0)
    throw HostError(pattern.source + ": " + where + ": key code " + std::to_string(keyCode) +
                    " is not in the kit " + kit.source);
  if (kit.keys[index].sample.empty())
    throw HostError(pattern.source + ": " + where + ": key code " + std::to_string(keyCode) +
                    " belongs to keys[" + std::to_string(index) + "] of " + kit.source +
                    ", which has no sample");
  return index;
}

} // namespace

LPARAM MessageParameter(unsigned lowWord, unsigned highWord) {
  return MAKELPARAM(lowWord & 0xFFFF, highWord & 0xFFFF);
}

uint64_t StepFrame(const Pattern& pattern, double step) {
  double framesPerStep = kOutputRate * 60.0 / (pattern.tempo * pattern.stepsPerBeat);
  return static_cast<uint64_t>(std::llround(step * framesPerStep));
}

Timeline BuildTimeline(const Kit& kit, const Pattern& pattern) {
  Timeline timeline;
  uint64_t passesEnd = StepFrame(pattern, double(pattern.steps) * pattern.repeat);
  timeline.frames = passesEnd + static_cast<uint64_t>(std::llround(pattern.tail * kOutputRate));

  // Every message is kept until it is posted; refuse what would not fit in memory.
  constexpr uint64_t kMaxMessages = 20'000'000;
  uint64_t notesPerPass = 0;
  for (const auto& [keyCode, hits] : pattern.tracks)
    notesPerPass += hits.size();
  uint64_t notes = notesPerPass * uint64_t(pattern.repeat);
  uint64_t changes = pattern.changes.size() * uint64_t(pattern.repeat);
  // Each note is two messages: its note-on and its note-off.
  if (2 * notes + changes > kMaxMessages)
    throw HostError(pattern.source + ": plays " + std::to_string(notes) + " notes and " +
                    std::to_string(changes) + " changes, " + std::to_string(2 * notes + changes) +
                    " messages with the note-offs; at most " + std::to_string(kMaxMessages) +
                    " messages can be played");

  std::vector<Pending> pending;
  auto add = [&](uint64_t frame, UINT message, LPARAM lParam, Rank rank) {
    if (frame < timeline.frames)
      pending.push_back({{frame, message, lParam}, rank});
  };

  for (const auto& [keyCode, hits] : pattern.tracks) {
    PlayableKey(kit, pattern, keyCode, "tracks." + std::to_string(keyCode));
    // Every hit of every pass, in time order; a hit ends at its length or, at the
    // latest, where the key's next hit starts (a playing key ignores a note-on).
    std::vector<std::pair<uint64_t, const Hit*>> starts;
    for (int pass = 0; pass < pattern.repeat; ++pass)
      for (const Hit& hit : hits)
        starts.push_back({StepFrame(pattern, double(pass) * pattern.steps + hit.step), &hit});
    for (size_t i = 0; i < starts.size(); ++i) {
      auto [frame, hit] = starts[i];
      add(frame, AM_NOTE, MessageParameter(keyCode, hit->velocity), kNoteOn);
      ++timeline.notes;
      uint64_t end = i + 1 < starts.size() ? starts[i + 1].first : UINT64_MAX;
      if (hit->length) {
        double startStep = double(i / hits.size()) * pattern.steps + hit->step;
        end = std::min(end, std::max(frame + 1, StepFrame(pattern, startStep + *hit->length)));
      }
      if (end != UINT64_MAX)
        add(end, AM_NOTE, MessageParameter(keyCode, 0), kNoteOff);
    }
  }

  for (size_t i = 0; i < pattern.changes.size(); ++i) {
    const Change& change = pattern.changes[i];
    unsigned low = 0;
    if (change.setting != Setting::PitchBend)
      low = static_cast<unsigned>(
          PlayableKey(kit, pattern, change.keyCode, "changes[" + std::to_string(i) + "]"));
    for (int pass = 0; pass < pattern.repeat; ++pass)
      add(StepFrame(pattern, double(pass) * pattern.steps + change.step),
          MessageFor(change.setting), MessageParameter(low, static_cast<unsigned>(change.value)),
          kChange);
  }

  std::stable_sort(pending.begin(), pending.end(), [](const Pending& a, const Pending& b) {
    if (a.message.frame != b.message.frame)
      return a.message.frame < b.message.frame;
    return a.rank < b.rank;
  });
  timeline.messages.reserve(pending.size());
  for (const Pending& p : pending)
    timeline.messages.push_back(p.message);
  return timeline;
}
