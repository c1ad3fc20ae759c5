#pragma once

// The state of the Caps, Num and Scroll Lock keys, for the status bar.
// Answers false for all three where the window system does not tell.
void QueryLockKeys(bool& bCaps, bool& bNum, bool& bScroll);
