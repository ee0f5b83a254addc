// A button glyph: the first frame of a bitmap strip in the resources, drawn
// with its background colour left out.
#pragma once

#include <windows.h>

#include "ui/gdi_win32.h"

namespace corvaldo {

// The pixels of the strip's bottom-left pixel's colour are transparent.
class Glyph {
 public:
  Glyph(HINSTANCE instance, int resourceId, int frames);
  Glyph(const Glyph&) = delete;
  Glyph& operator=(const Glyph&) = delete;

  // 0 by 0 when the resource could not be loaded.
  int Width() const { return image_.Get() != nullptr ? width_ : 0; }
  int Height() const { return image_.Get() != nullptr ? height_ : 0; }

  void Draw(HDC dc, int x, int y) const;

 private:
  ScopedGdiObj<HBITMAP> image_;
  ScopedGdiObj<HBITMAP> mask_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace corvaldo
