#include "host/sources/timeline.h"

#include "host/host_error.h"
#include "kit/trigger_map.h"

#include <algorithm>
#include <cmath>

namespace {

// Within one frame: setting changes first, so that a note started there already has
// them; then note-offs, so that a key stopped and started at once is started again.
enum Rank { kChange = 0, kNoteOff = 1, kNoteOn = 2 };

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

uint64_t StepFrame(const Pattern& pattern, double step, uint32_t rate) {
  double framesPerStep = rate * 60.0 / (pattern.tempo * pattern.stepsPerBeat);
  return static_cast<uint64_t>(std::llround(step * framesPerStep));
}

Timeline BuildTimeline(const Kit& kit, const Pattern& pattern, uint32_t rate) {
  Timeline timeline;
  timeline.rate = rate;
  uint64_t passesEnd = StepFrame(pattern, double(pattern.steps) * pattern.repeat, rate);
  timeline.frames = passesEnd + static_cast<uint64_t>(std::llround(pattern.tail * rate));

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

  // Hits and their ends go through the trigger map in time order, which chooses the
  // keys they sound on; changes are posted as they are.
  struct Event {
    uint64_t frame;
    Rank rank;
    int trigger = 0;
    int velocity = 0;
    TimedMessage change{};
  };
  std::vector<Event> events;

  TriggerMap triggers(kit);
  for (const auto& [trigger, hits] : pattern.tracks) {
    if (!triggers.Plays(trigger))
      PlayableKey(kit, pattern, trigger, "tracks." + std::to_string(trigger));
    // Every hit of every pass, in time order. A hit with a length ends there or, at the
    // latest, where the trigger's next hit starts; one without sounds until its key is
    // played again.
    std::vector<std::pair<uint64_t, const Hit*>> starts;
    for (int pass = 0; pass < pattern.repeat; ++pass)
      for (const Hit& hit : hits)
        starts.push_back({StepFrame(pattern, double(pass) * pattern.steps + hit.step, rate), &hit});
    for (size_t i = 0; i < starts.size(); ++i) {
      auto [frame, hit] = starts[i];
      if (frame >= timeline.frames)
        continue;
      events.push_back({frame, kNoteOn, trigger, hit->velocity});
      if (!hit->length)
        continue;
      double startStep = double(i / hits.size()) * pattern.steps + hit->step;
      uint64_t end = std::max(frame + 1, StepFrame(pattern, startStep + *hit->length, rate));
      if (i + 1 < starts.size())
        end = std::min(end, starts[i + 1].first);
      if (end < timeline.frames)
        events.push_back({end, kNoteOff, trigger, 0});
    }
  }

  for (size_t i = 0; i < pattern.changes.size(); ++i) {
    const Change& change = pattern.changes[i];
    unsigned low = 0;
    if (change.setting != Setting::PitchBend)
      low = static_cast<unsigned>(
          PlayableKey(kit, pattern, change.keyCode, "changes[" + std::to_string(i) + "]"));
    for (int pass = 0; pass < pattern.repeat; ++pass) {
      uint64_t frame = StepFrame(pattern, double(pass) * pattern.steps + change.step, rate);
      if (frame < timeline.frames)
        events.push_back({frame,
                          kChange,
                          0,
                          0,
                          {frame, MessageFor(change.setting),
                           MessageParameter(low, static_cast<unsigned>(change.value))}});
    }
  }

  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
    if (a.frame != b.frame)
      return a.frame < b.frame;
    return a.rank < b.rank;
  });
  timeline.messages.reserve(events.size());
  std::vector<TriggeredNote> triggered;
  for (const Event& event : events) {
    if (event.rank == kChange) {
      timeline.messages.push_back(event.change);
      continue;
    }
    triggered.clear();
    if (event.rank == kNoteOn)
      triggers.NoteOn(event.trigger, event.velocity, triggered);
    else
      triggers.NoteOff(event.trigger, triggered);
    for (const TriggeredNote& note : triggered) {
      timeline.messages.push_back({event.frame, AM_NOTE,
                                   MessageParameter(static_cast<unsigned>(note.keyCode),
                                                    static_cast<unsigned>(note.velocity))});
      timeline.notes += note.velocity > 0;
    }
  }
  return timeline;
}
