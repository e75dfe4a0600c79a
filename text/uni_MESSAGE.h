#pragma once
// String routines used by the journal listing.

#include <string>

namespace kelvora {

// Piece number `piece` (from 0) of `text` cut at every occurrence of
// `delimiter` and at every line break; the empty text when there is none.
std::string SplitItem(std::string text, std::string delimiter, int piece);

// `text` trimmed, then padded on the right with `fill` or cut to `width`.
std::string FitWidth(std::string text, int width, char fill);

}  // namespace kelvora
