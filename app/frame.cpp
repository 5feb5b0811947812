#include "app/frame.h"

#include <GL/glew.h>
#include <GL/freeglut.h>

#include <cstdio>

#include "browser/browser_state.h"
#include "render/browser_view.h"
#include "zub/path.h"

namespace {
constexpr char authorCredit[] = "the orchard.menu developers <dev@orchard.menu>";
}

void copyArguments(int argc, char** argv) {
  browserState.argumentCount = argc;
  browserState.arguments.resize(argc > 0 ? static_cast<std::size_t>(argc) : 0);
  for (int i = 0; i < argc; ++i) {
    browserState.arguments[static_cast<std::size_t>(i)] = argv[i] ? argv[i] : "";
  }
}

void openInitialDirectory() {
  if (browserState.argumentCount >= 2 && browserState.arguments.size() >= 2) {
    browserState.currentDirectory = browserState.arguments[1];
  }
  // The state's own field is the argument; openDirectory copies it first.
  openDirectory(browserState.currentDirectory.c_str(), browserState);
}

void printStartupLines(const char* programPath) {
  std::printf("\n");
  std::printf("%s - by %s\n", zub::baseName(programPath).c_str(), authorCredit);
  std::printf("       usage:  %s <path>\n", zub::baseName(programPath).c_str());
  std::printf("\n");
  // Whoever reads these through a pipe should not wait for the exit.
  std::fflush(stdout);
}

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
