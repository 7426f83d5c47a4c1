#pragma once
// The instrument maker's fonts ("MS Sans Serif", "verdana", "Arial") are asked for by name; a machine without
// them gets the closest sans-serif it has.

namespace qv {

void installFontSubstitutions();

}  // namespace qv
