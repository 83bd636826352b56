// Puts every record and value of the engine back as it is when the module is loaded, so
// that one process can run many sessions. It frees nothing and releases nothing.
#pragma once

void ResetEngineState();
