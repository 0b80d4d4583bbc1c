#pragma once
// Key codes of desktop key events in the grid's terms.

namespace controls {

// The grid's key code of a wx key code; 0 for keys the grid has no code for.
unsigned VirtualKeyFromWx(int keyCode);

}  // namespace controls
