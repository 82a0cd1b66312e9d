#pragma once

namespace zp {

// How many columns of a fixed-pitch display a character takes: 2 for the wide and
// full-width characters of East Asian scripts (and the emoji shown as wide), 0 for
// combining marks and invisible format characters, 1 for the rest. Both windows size
// their trace from it, as characters times the character width.
int DisplayColumns(char32_t c);

}  // namespace zp
