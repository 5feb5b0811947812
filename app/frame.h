// The window callbacks that make a frame, and the handlers of the input
// the browser does not use.
#pragma once

// Display callback: sets up the extension loader on the very first frame
// (whichever callback draws it), clears, sets the per-frame GL state and a
// one-unit-per-pixel orthographic projection, draws the browser, swaps.
// When cells of the frame wait for the font worker, a timer asks for a
// redisplay once their pictures are back.
void displayFrame();

// Reshape callback: records the size, sets the viewport and draws a frame
// at once (not through a redisplay request).
void reshapeView(int width, int height);

// Makes the browser's window the toolkit's current window, if it is not.
void makeWindowCurrent();

// Empty handlers for the events the browser does not use: key and special
// key release, mouse buttons, motion and passive motion.
void ignoreInput(unsigned char key, int x, int y);
void ignoreInput(int key, int x, int y);
void ignoreInput(int button, int state, int x, int y);
void ignoreInput(int x, int y);
