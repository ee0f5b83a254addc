// A button glyph, made ready once for transparent drawing.
#include "ui/glyph_win32.h"

namespace corvaldo {

Glyph::Glyph(HINSTANCE instance, int resourceId, int frames) {
  const ScopedGdiObj<HBITMAP> strip(static_cast<HBITMAP>(
      LoadImageA(instance, MAKEINTRESOURCEA(resourceId), IMAGE_BITMAP, 0, 0, 0)));
  if (strip.Get() == nullptr) return;
  BITMAP info{};
  GetObjectA(strip.Get(), sizeof info, &info);
  width_ = info.bmWidth / (frames > 0 ? frames : 1);
  height_ = info.bmHeight;
  const HDC screen = GetDC(nullptr);
  {
    const BitmapDC source(screen, strip.Get());
    const COLORREF transparent = GetPixel(source.Get(), 0, height_ - 1);
    // Monochrome mask: 1 where the glyph is transparent.
    mask_.Reset(CreateBitmap(width_, height_, 1, 1, nullptr));
    const BitmapDC mask(screen, mask_.Get());
    SetBkColor(source.Get(), transparent);
    BitBlt(mask.Get(), 0, 0, width_, height_, source.Get(), 0, 0, SRCCOPY);
    // The image with its transparent pixels turned black, for OR-ing in.
    image_.Reset(CreateCompatibleBitmap(screen, width_, height_));
    const BitmapDC image(screen, image_.Get());
    BitBlt(image.Get(), 0, 0, width_, height_, source.Get(), 0, 0, SRCCOPY);
    SetBkColor(image.Get(), RGB(0, 0, 0));
    SetTextColor(image.Get(), RGB(255, 255, 255));
    BitBlt(image.Get(), 0, 0, width_, height_, mask.Get(), 0, 0, SRCAND);
  }
  ReleaseDC(nullptr, screen);
}

void Glyph::Draw(HDC dc, int x, int y) const {
  if (image_.Get() == nullptr) return;
  const BitmapDC mask(dc, mask_.Get());
  const BitmapDC image(dc, image_.Get());
  const COLORREF oldBk = SetBkColor(dc, RGB(255, 255, 255));
  const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
  BitBlt(dc, x, y, width_, height_, mask.Get(), 0, 0, SRCAND);
  BitBlt(dc, x, y, width_, height_, image.Get(), 0, 0, SRCPAINT);
  SetBkColor(dc, oldBk);
  SetTextColor(dc, oldText);
}

}  // namespace corvaldo
