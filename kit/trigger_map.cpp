#include "kit/trigger_map.h"

namespace {
constexpr size_t kKeyCodes = 65536;
} // namespace

TriggerMap::TriggerMap(const Kit& kit)
    : sounding_(kKeyCodes), roundRobin_(kit.roundRobin), random_(kit.seed) {
  std::map<std::string, int> groupIndex;
  for (const KitKey& key : kit.keys) {
    if (key.sample.empty() || key.keyCode < 0)
      continue;
    int group = -1;
    if (!key.group.empty()) {
      auto [at, added] = groupIndex.try_emplace(key.group, static_cast<int>(groups_.size()));
      if (added)
        groups_.emplace_back();
      group = at->second;
      groups_[group].push_back(key.keyCode);
    }
    int trigger = key.trigger >= 0 ? key.trigger : key.keyCode;
    triggers_[trigger].members.push_back({key.keyCode, key.velocityLow, key.velocityHigh, group});
  }
}

bool TriggerMap::Plays(int trigger) const {
  return triggers_.count(trigger) != 0;
}

void TriggerMap::Stop(int keyCode, std::vector<TriggeredNote>& out) {
  if (sounding_[keyCode]) {
    sounding_[keyCode] = false;
    out.push_back({keyCode, 0});
  }
}

void TriggerMap::NoteOn(int trigger, int velocity, std::vector<TriggeredNote>& out) {
  auto found = triggers_.find(trigger);
  if (found == triggers_.end())
    return;
  Trigger& entry = found->second;
  auto holds = [velocity](const Member& member) {
    return velocity >= member.velocityLow && velocity <= member.velocityHigh;
  };
  size_t candidates = 0;
  for (const Member& member : entry.members)
    candidates += holds(member);
  if (candidates == 0)
    return;
  unsigned turn = entry.turns++;
  // The modulus of the generator's raw output, not a distribution, so that a seed
  // chooses the same keys with every standard library.
  size_t pick = roundRobin_ == RoundRobin::Random ? random_() % candidates : turn % candidates;
  const Member* chosen = nullptr;
  for (const Member& member : entry.members)
    if (holds(member) && pick-- == 0) {
      chosen = &member;
      break;
    }
  if (chosen->group >= 0)
    for (int member : groups_[chosen->group])
      if (member != chosen->keyCode)
        Stop(member, out);
  Stop(chosen->keyCode, out);
  out.push_back({chosen->keyCode, velocity});
  sounding_[chosen->keyCode] = true;
  entry.lastKey = chosen->keyCode;
}

void TriggerMap::NoteOff(int trigger, std::vector<TriggeredNote>& out) {
  auto found = triggers_.find(trigger);
  if (found != triggers_.end() && found->second.lastKey >= 0)
    Stop(found->second.lastKey, out);
}

void TriggerMap::Reset() {
  sounding_.assign(kKeyCodes, false);
  for (auto& [trigger, entry] : triggers_)
    entry.lastKey = -1;
}
