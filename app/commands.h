// Keyboard commands on the global BrowserState, and the toolkit callbacks
// that dispatch to them.
#pragma once

#include <string>

// Toolkit keyboard callback for character keys: runs the command bound to
// `key` (see the key table in commands.cpp) and requests a redisplay.
void onKey(unsigned char key, int x, int y);

// Toolkit callback for special keys (arrows).
void onSpecialKey(int key, int x, int y);

// Opens the parent of the current directory.
void goToParent();

// Enters the selected directory, or marks the selected file and launches it.
void activateSelection();
