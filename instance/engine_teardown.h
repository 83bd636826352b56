// What the engine never gives back itself (it keeps its samples and voices until the
// process ends): freed by a private copy at close, and by tests between cases.
#pragma once

// Stops and releases every voice's buffer and frees every sample in the list with its
// buffer, leaving the list and the voice table empty.
void FreeSamplesAndVoices();
