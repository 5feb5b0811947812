// Draws one browser frame on a real OpenGL context and saves it as a PNG,
// the picture in docs/ (scripts/frame-picture.sh runs it):
//   frame_picture OUT.png
#include <png.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "render/browser_view.h"
#include "tests/render/gl_canvas.h"

namespace {

// Writes `picture` as a PNG the right way up. False when it cannot.
bool writePng(const Picture& picture, const std::string& path) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb;
  rgb.reserve(picture.rgba.size() / 4 * 3);
  for (size_t i = 0; i < picture.rgba.size(); i += 4) rgb.insert(rgb.end(), &picture.rgba[i], &picture.rgba[i] + 3);
  // A negative stride hands the rows over bottom row first.
  const png_int_32 stride = -static_cast<png_int_32>(picture.width * 3);
  return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), stride, nullptr) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT.png\n", argc > 0 ? argv[0] : "frame_picture");
    return 2;
  }
  std::string why;
  if (!openGlContext(why)) {
    std::fprintf(stderr, "no OpenGL context: %s\n", why.c_str());
    return 1;
  }
  BrowserState s;
  s.currentDirectory = "/home/ada/projects/orchard.menu";
  s.viewWidth = 1920;
  s.viewHeight = 1080;
  const char* lines[] = {"  [..]",        "  [build]",        "  [docs]",           "  [render]",
                         "* README.md",   "  CMakeLists.txt", "* notes \xE9t\xE9.txt", "  \"quoted\" name",
                         "  main.cpp",    "  run.sh",         "  [THE END]_"};
  for (const char* line : lines) {
    s.displayLines.push_back(line);
    s.entryNames.push_back(line);
  }
  s.selection = 4;
  Canvas canvas = makeCanvas(1920, 1080);
  startFrame(canvas, 1920, 1080);
  drawBrowser(s);
  const Picture picture = readPicture(canvas);
  freeCanvas(canvas);
  if (!writePng(picture, argv[1])) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("%s\n", argv[1]);
  return 0;
}
