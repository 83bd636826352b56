// The URIs the plugin speaks, mapped once at instantiation.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/urid/urid.h>

namespace za32::lv2 {

inline constexpr const char* kStereoUri = "urn:zandoria:za32";
inline constexpr const char* kMultiUri = "urn:zandoria:za32:multi";
inline constexpr const char* kKitUri = "urn:zandoria:za32#kit";
inline constexpr const char* kErrorUri = "urn:zandoria:za32#error";

struct Uris {
  explicit Uris(LV2_URID_Map* map)
      : atomPath(map->map(map->handle, LV2_ATOM__Path)),
        atomString(map->map(map->handle, LV2_ATOM__String)),
        atomObject(map->map(map->handle, LV2_ATOM__Object)),
        atomBlank(map->map(map->handle, LV2_ATOM__Blank)),
        atomUrid(map->map(map->handle, LV2_ATOM__URID)),
        atomFrameTime(map->map(map->handle, LV2_ATOM__frameTime)),
        midiEvent(map->map(map->handle, LV2_MIDI__MidiEvent)),
        patchSet(map->map(map->handle, LV2_PATCH__Set)),
        patchGet(map->map(map->handle, LV2_PATCH__Get)),
        patchProperty(map->map(map->handle, LV2_PATCH__property)),
        patchValue(map->map(map->handle, LV2_PATCH__value)), kit(map->map(map->handle, kKitUri)),
        error(map->map(map->handle, kErrorUri)) {}

  LV2_URID atomPath, atomString, atomObject, atomBlank, atomUrid, atomFrameTime;
  LV2_URID midiEvent;
  LV2_URID patchSet, patchGet, patchProperty, patchValue;
  LV2_URID kit, error;
};

} // namespace za32::lv2
