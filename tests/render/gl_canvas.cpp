#include "tests/render/gl_canvas.h"

#include <GL/glew.h>
#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/browser_view.h"

bool openGlContext(std::string& why) {
  static bool tried = false;
  static bool opened = false;
  static std::string reason;
  if (!tried) {
    tried = true;
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
      reason = "no X display (DISPLAY is unset); start Xvfb: source scripts/xvfb.sh; start_xvfb";
    } else {
      int argc = 1;
      char name[] = "render_gl_test";
      char* argv[] = {name, nullptr};
      glutInitWindowPosition(0, 0);
      glutInitWindowSize(1920, 1080);
      glutInit(&argc, argv);
      glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
      glutCreateWindow("render tests");
      glewInit();
      keepGlDriverLoaded();
      if (!GLEW_VERSION_3_0 && !GLEW_ARB_framebuffer_object)
        reason = "the OpenGL driver has no framebuffer objects";
      else
        opened = true;
    }
  }
  why = reason;
  return opened;
}

Rgba Picture::at(int x, int y) const {
  const uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
  return {p[0], p[1], p[2], p[3]};
}

Canvas makeCanvas(int width, int height) {
  Canvas c;
  c.width = width;
  c.height = height;
  glGenFramebuffers(1, &c.framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, c.framebuffer);
  glGenRenderbuffers(1, &c.colour);
  glBindRenderbuffer(GL_RENDERBUFFER, c.colour);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, c.colour);
  glGenRenderbuffers(1, &c.depth);
  glBindRenderbuffer(GL_RENDERBUFFER, c.depth);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, c.depth);
  return c;
}

void freeCanvas(Canvas& c) {
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteRenderbuffers(1, &c.colour);
  glDeleteRenderbuffers(1, &c.depth);
  glDeleteFramebuffers(1, &c.framebuffer);
  c = Canvas();
}

void startFrame(const Canvas& c, float viewWidth, float viewHeight) {
  glBindFramebuffer(GL_FRAMEBUFFER, c.framebuffer);
  glViewport(0, 0, c.width, c.height);
  beginFrame(viewWidth, viewHeight);
}

Picture readPicture(const Canvas& c) {
  glFinish();
  Picture p;
  p.width = c.width;
  p.height = c.height;
  p.rgba.assign(static_cast<size_t>(c.width) * c.height * 4, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, c.framebuffer);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, c.width, c.height, GL_RGBA, GL_UNSIGNED_BYTE, p.rgba.data());
  return p;
}

std::string firstDifference(const Picture& a, const Picture& b) {
  if (a.width != b.width || a.height != b.height) return "sizes differ";
  // One comparison of the whole buffers first: the pixel walk below is
  // slow in the sanitized build and only needed to name a difference.
  if (a.rgba == b.rgba) return "";
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      const Rgba p = a.at(x, y), q = b.at(x, y);
      if (std::memcmp(&p, &q, sizeof p) != 0) {
        char text[96];
        std::snprintf(text, sizeof text, "%d,%d: %d %d %d %d vs %d %d %d %d", x, y, p.r, p.g, p.b, p.a,
                      q.r, q.g, q.b, q.a);
        return text;
      }
    }
  return "";
}
