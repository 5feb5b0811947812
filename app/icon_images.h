// The program's icon as pixels, built into the binary from the committed
// icons/orchard-menu-<N>.png (the build generates icon_images.cpp with
// tools/icon_image_source).
#pragma once

#include <cstddef>
#include <cstdint>

// One size of the icon: width x height pixels, top row first, each
// 0xAARRGGBB with straight (not premultiplied) alpha.
struct IconImage {
  unsigned width;
  unsigned height;
  const uint32_t* argb;
};

// Every size of the icon, smallest first; iconImageCount of them.
extern const IconImage iconImages[];
extern const size_t iconImageCount;
