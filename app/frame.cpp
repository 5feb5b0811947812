#include "app/frame.h"

#include <GL/glew.h>
#include <GL/freeglut.h>

#include "browser/browser_state.h"
#include "render/browser_view.h"
#include "render/glyph_cache.h"

namespace {

// The event loop sleeps until the toolkit has an event, and the font
// worker cannot post one (the toolkit is not thread-safe), so while cells
// are being painted a timer looks for finished ones. It runs only then:
// often at first, less and less often while nothing comes back (a font
// file that never answers costs a few wake-ups a second), and not at all
// once every cell on the screen is drawn.
constexpr unsigned int kFirstLook = 10, kLastLook = 250;  // milliseconds
bool looking = false;
unsigned int lookAfter = kFirstLook;

void lookForGlyphs(int) {
  looking = false;
  if (glyphCacheHasArrivals()) {
    // The frame uploads them, and looks again if more are on the way.
    lookAfter = kFirstLook;
    makeWindowCurrent();
    glutPostRedisplay();
    return;
  }
  if (!glyphCacheWaiting()) return;
  lookAfter = lookAfter * 2 < kLastLook ? lookAfter * 2 : kLastLook;
  looking = true;
  glutTimerFunc(lookAfter, lookForGlyphs, 0);
}

}  // namespace

void displayFrame() {
  if (browserState.needsGlInit) {
    glewInit();
    browserState.needsGlInit = false;
  }
  beginFrame(browserState.viewWidth, browserState.viewHeight);
  drawBrowser(browserState);
  glutSwapBuffers();
  // What the frame took while it drew still needs the redraw that shows
  // it, though nothing may be waiting any more.
  if (!looking && (glyphCacheWaiting() || glyphCacheHasArrivals())) {
    looking = true;
    glutTimerFunc(lookAfter, lookForGlyphs, 0);
  }
}

void reshapeView(int width, int height) {
  browserState.viewWidth = static_cast<float>(width);
  browserState.viewHeight = static_cast<float>(height);
  glViewport(0, 0, static_cast<int>(browserState.viewWidth),
             static_cast<int>(browserState.viewHeight));
  makeWindowCurrent();
  displayFrame();
}

void makeWindowCurrent() {
  if (glutGetWindow() != browserState.windowId) glutSetWindow(browserState.windowId);
}

void ignoreInput(unsigned char, int, int) {}
void ignoreInput(int, int, int) {}
void ignoreInput(int, int, int, int) {}
void ignoreInput(int, int) {}
