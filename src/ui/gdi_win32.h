// GDI helpers the two windows share: handles that free or restore themselves,
// fonts, and the toolkit's bevel and label text.
#pragma once

#include <windows.h>

#include <string>

namespace corvaldo {

// A GDI object (font, bitmap) owned here and deleted on scope exit.
template <typename T>
class ScopedGdiObj {
 public:
  explicit ScopedGdiObj(T object = nullptr) : object_(object) {}
  ~ScopedGdiObj() { Reset(); }
  ScopedGdiObj(const ScopedGdiObj&) = delete;
  ScopedGdiObj& operator=(const ScopedGdiObj&) = delete;

  void Reset(T object = nullptr) {
    if (object_ != nullptr) DeleteObject(object_);
    object_ = object;
  }
  T Get() const { return object_; }

 private:
  T object_;
};

// An object selected into a DC until scope exit, when the old one goes back.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~SelectedObject() { SelectObject(dc_, old_); }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// The DC's state (clip, font, colours, modes) saved, and restored on scope exit.
class SavedDC {
 public:
  explicit SavedDC(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  ~SavedDC() { RestoreDC(dc_, saved_); }
  SavedDC(const SavedDC&) = delete;
  SavedDC& operator=(const SavedDC&) = delete;

 private:
  HDC dc_;
  int saved_;
};

// A memory DC with a bitmap selected, restored and freed on scope exit.
class BitmapDC {
 public:
  BitmapDC(HDC like, HBITMAP bitmap) : dc_(CreateCompatibleDC(like)) {
    old_ = SelectObject(dc_, bitmap);
  }
  ~BitmapDC() {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
  }
  BitmapDC(const BitmapDC&) = delete;
  BitmapDC& operator=(const BitmapDC&) = delete;
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A font of `face` whose characters (not cells) are `characterHeight` pixels
// high, as the toolkit asks for a point size.
HFONT MakeFont(const char* face, int characterHeight, int weight, DWORD pitchAndFamily);

// The width and height a single line of text takes in the DC's font.
SIZE MeasureText(HDC dc, const char* text, int length);

// A bevel drawn the toolkit's way: light top and left, dark bottom and right;
// `rect` shrinks by `width` on every side, to what lies inside the bevel.
void Frame3D(HDC dc, RECT& rect, COLORREF topLeft, COLORREF bottomRight, int width);

// A label's text the toolkit's way, in the DC's font: transparent, the lines
// centred one under another as a block, no wrap, "&" marking a mnemonic, cut
// at the label's edges; each line centred within the label less `inset`
// pixels at either side.
void DrawLabelLines(HDC dc, const RECT& label, int inset, COLORREF colour, const std::string& text);

}  // namespace corvaldo
