#include "trigger_map.h"

TriggerMap::TriggerMap(const Kit& kit) : roundRobin_(kit.roundRobin), random_(kit.seed) {
  for (const KitKey& key : kit.keys) {
    if (key.sample.empty() || key.keyCode < 0)
      continue;
    int trigger = key.trigger >= 0 ? key.trigger : key.keyCode;
    triggers_[trigger].push_back({key.keyCode, key.velocityLow, key.velocityHigh, key.group});
    if (!key.group.empty()) {
      groups_[key.group].push_back(key.keyCode);
      groupOf_[key.keyCode] = key.group;
    }
  }
}

bool TriggerMap::Plays(int trigger) const {
  return triggers_.count(trigger) != 0;
}

std::vector<TriggeredNote> TriggerMap::NoteOn(int trigger, int velocity) {
  std::vector<TriggeredNote> notes;
  auto found = triggers_.find(trigger);
  if (found == triggers_.end())
    return notes;
  std::vector<int> candidates;
  for (const Member& member : found->second)
    if (velocity >= member.velocityLow && velocity <= member.velocityHigh)
      candidates.push_back(member.keyCode);
  if (candidates.empty())
    return notes;
  unsigned turn = turns_[trigger]++;
  // The modulus of the generator's raw output, not a distribution, so that a seed
  // chooses the same keys with every standard library.
  size_t pick =
      roundRobin_ == RoundRobin::Random ? random_() % candidates.size() : turn % candidates.size();
  int chosen = candidates[pick];

  auto stop = [&](int keyCode) {
    if (sounding_.erase(keyCode))
      notes.push_back({keyCode, 0});
  };
  auto group = groupOf_.find(chosen);
  if (group != groupOf_.end())
    for (int member : groups_[group->second])
      if (member != chosen)
        stop(member);
  stop(chosen);
  notes.push_back({chosen, velocity});
  sounding_.insert(chosen);
  lastKey_[trigger] = chosen;
  return notes;
}

std::vector<TriggeredNote> TriggerMap::NoteOff(int trigger) {
  std::vector<TriggeredNote> notes;
  auto last = lastKey_.find(trigger);
  if (last != lastKey_.end() && sounding_.erase(last->second))
    notes.push_back({last->second, 0});
  return notes;
}

void TriggerMap::Reset() {
  sounding_.clear();
  lastKey_.clear();
}
