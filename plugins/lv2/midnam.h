// The note names of a kit for the host's piano roll, as a MIDNAM document (the midnam
// extension of Ardour): each MIDI note that plays a key is named after the key's sample.
#pragma once

#include "kit/kit_model.h"

#include <string>

namespace za32::lv2 {

// `model` names the document; hosts tell instances apart by it.
std::string MidnamDocument(const Kit& kit, const std::string& model);

} // namespace za32::lv2
