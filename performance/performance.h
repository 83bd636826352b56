// What the performance subsystem offers the engine window and the exports: the
// handlers of the host's note and parameter messages. Each takes the message's whole
// long parameter and splits it itself.
#pragma once

#include "../engine/state.h"

LRESULT NoteMessage(LPARAM lParam);          // AM_NOTE
LRESULT HoldMessage(LPARAM lParam);          // AM_HOLD
LRESULT BendMessage(LPARAM lParam);          // AM_BEND
LRESULT LoopMessage(LPARAM lParam);          // AM_LOOP
LRESULT BendEnableMessage(LPARAM lParam);    // AM_BENDENABLE
LRESULT VelocitySenseMessage(LPARAM lParam); // AM_VELOCITYSENSE
LRESULT MuteMessage(LPARAM lParam);          // AM_MUTE
LRESULT NotePitchMessage(LPARAM lParam);     // AM_NOTEPITCH
LRESULT FineTuneMessage(LPARAM lParam);      // AM_FINETUNE
LRESULT VolumeMessage(LPARAM lParam);        // AM_VOLUME
LRESULT PanMessage(LPARAM lParam);           // AM_PAN
