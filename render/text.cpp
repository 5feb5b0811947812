#include "render/text.h"

#include <GL/glew.h>
#include <GL/glu.h>

GlyphEntry glyphTable[256] = {};
bool glyphTableBuilt = false;
unsigned int fontTexture = 0;

void buildGlyphTable() {
  const float step = 0.0625f;  // one cell of the 16 x 16 grid
  for (int code = 0; code < 256; ++code) {
    const float row = static_cast<float>(code / 16);  // from the top of the picture
    const float col = static_cast<float>(code % 16);
    GlyphEntry& e = glyphTable[code];
    e.topLeft[0] = col * step;
    e.topLeft[1] = 1.0f - row * step;
    e.topRight[0] = (col + 1.0f) * step;
    e.topRight[1] = 1.0f - row * step;
    e.bottomRight[0] = (col + 1.0f) * step;
    e.bottomRight[1] = 1.0f - (row + 1.0f) * step;
    e.bottomLeft[0] = col * step;
    e.bottomLeft[1] = 1.0f - (row + 1.0f) * step;
  }
  glyphTableBuilt = true;
}

void bindFontTexture(const unsigned char* image) {
  glAlphaFunc(GL_GREATER, 0.25f);
  glEnable(GL_ALPHA_TEST);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_BLEND);

  // Without the multitexture entry point (no glewInit yet, or a driver
  // without GL_ARB_multitexture) the other units cannot be switched off;
  // text then goes through whichever unit is active, normally unit 0.
  if (glActiveTextureARB != nullptr) {
    for (GLenum unit = GL_TEXTURE1_ARB; unit <= GL_TEXTURE7_ARB; ++unit) {
      glActiveTextureARB(unit);
      glDisable(GL_TEXTURE_2D);
    }
    glActiveTextureARB(GL_TEXTURE0_ARB);
  }
  glEnable(GL_TEXTURE_2D);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);

  if (fontTexture != 0) {
    glBindTexture(GL_TEXTURE_2D, fontTexture);
    return;
  }
  GLuint name = 0;
  glGenTextures(1, &name);
  fontTexture = name;
  glBindTexture(GL_TEXTURE_2D, fontTexture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  gluBuild2DMipmaps(GL_TEXTURE_2D, 4, 256, 256, GL_RGBA, GL_UNSIGNED_BYTE, image);
  glEnable(GL_TEXTURE_2D);
}

void drawString(const std::string& text, float x, float y) {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glTranslatef(x, y, 0.0f);
  // Names do not come here: the view draws them with drawName(), which
  // keeps a line feed or carriage return in a name on the name's own row.
  float column = 0.0f;
  float line = 0.0f;
  for (const char ch : text) {
    const unsigned char code = static_cast<unsigned char>(ch);
    if (code == 10) {
      line -= 1.0f;
      column = 0.0f;
      continue;
    }
    if (code == 13) {
      column = 0.0f;
      continue;
    }
    const GlyphEntry& e = glyphTable[code];
    const float x0 = column * 32.0f;
    const float x1 = (column + 1.0f) * 32.0f;
    const float y0 = line * 32.0f;
    const float y1 = (line + 1.0f) * 32.0f;
    glBegin(GL_TRIANGLE_STRIP);
    glNormal3f(0.0f, 0.0f, 1.0f);
    glTexCoord2fv(e.bottomRight);
    glVertex3f(x1, y0, 0.0f);
    glTexCoord2fv(e.topRight);
    glVertex3f(x1, y1, 0.0f);
    glTexCoord2fv(e.bottomLeft);
    glVertex3f(x0, y0, 0.0f);
    glTexCoord2fv(e.topLeft);
    glVertex3f(x0, y1, 0.0f);
    glEnd();
    column += 1.0f;
  }
  glPopMatrix();
}

void drawText(const char* text, float x, float y) {
  if (!glyphTableBuilt) buildGlyphTable();
  bindFontTexture(fontImage);
  drawString(text != nullptr ? std::string(text) : std::string(), x, y);
}

void drawShadowedText(const char* text, float red, float green, float blue,
                      float x, float y, float offset) {
  glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
  drawText(text, x + offset, y + offset);
  glColor4f(red, green, blue, 1.0f);
  drawText(text, x, y);
}
