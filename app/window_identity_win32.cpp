#include "app/window_identity.h"

// On Windows the toolkit gives every window the icon resource "GLUT_ICON"
// linked into the program, and a window class of its own; nothing is left
// to set once the window exists.
bool setWindowIdentity() { return true; }
