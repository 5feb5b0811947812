#include "app/frame.h"

#include <GL/glew.h>
#include <GL/freeglut.h>

#include "browser/browser_state.h"
#include "render/browser_view.h"

void displayFrame() {
  if (browserState.needsGlInit) {
    glewInit();
    browserState.needsGlInit = false;
  }
  beginFrame(browserState.viewWidth, browserState.viewHeight);
  drawBrowser(browserState);
  glutSwapBuffers();
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
