// What the performance subsystem offers the engine window: the handlers of the host's
// note and parameter messages. The window splits each message's long parameter once:
// `key` is its low word (a key code for AM_NOTE, a key index for the others, unused by
// AM_BEND) and `value` its high word.
#pragma once

#include "../engine/state.h"

LRESULT NoteMessage(int32_t key, int32_t value);          // AM_NOTE
LRESULT HoldMessage(int32_t key, int32_t value);          // AM_HOLD
LRESULT BendMessage(int32_t key, int32_t value);          // AM_BEND
LRESULT LoopMessage(int32_t key, int32_t value);          // AM_LOOP
LRESULT BendEnableMessage(int32_t key, int32_t value);    // AM_BENDENABLE
LRESULT VelocitySenseMessage(int32_t key, int32_t value); // AM_VELOCITYSENSE
LRESULT MuteMessage(int32_t key, int32_t value);          // AM_MUTE
LRESULT NotePitchMessage(int32_t key, int32_t value);     // AM_NOTEPITCH
LRESULT FineTuneMessage(int32_t key, int32_t value);      // AM_FINETUNE
LRESULT VolumeMessage(int32_t key, int32_t value);        // AM_VOLUME
LRESULT PanMessage(int32_t key, int32_t value);           // AM_PAN
