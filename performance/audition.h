// Previewing a WAV file on its sample's own buffer before the host assigns it to a key,
// and starting a sample's own buffer, which the rate test does too.
#pragma once

#include "../engine/state.h"

// Starts the sample's own buffer from its beginning, looping when its Looping is set.
// A buffer that plays already is only moved back to its start. 0, or the result of the
// failing device call; failures of the position and of Play are shown in plain boxes
// owned by `window`.
HRESULT PlaySample(HWND window, SampleRecord* sample);
