// GDI helpers the two windows share: fonts, the toolkit's bevel and label text.
#include "ui/gdi_win32.h"

#include <vector>

#include "ui/label_text.h"

namespace corvaldo {

HFONT MakeFont(const char* face, int characterHeight, int weight, DWORD pitchAndFamily) {
  return CreateFontA(-characterHeight, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitchAndFamily,
                     face);
}

SIZE MeasureText(HDC dc, const char* text, int length) {
  RECT box{0, 0, 0, 0};
  DrawTextA(dc, text, length, &box, DT_SINGLELINE | DT_CALCRECT);
  return SIZE{box.right - box.left, box.bottom - box.top};
}

void Frame3D(HDC dc, RECT& rect, COLORREF topLeft, COLORREF bottomRight, int width) {
  for (int i = 0; i < width; ++i) {
    const RECT top{rect.left, rect.top, rect.right - 1, rect.top + 1};
    const RECT left{rect.left, rect.top, rect.left + 1, rect.bottom - 1};
    const RECT bottom{rect.left, rect.bottom - 1, rect.right, rect.bottom};
    const RECT right{rect.right - 1, rect.top, rect.right, rect.bottom};
    SetBkColor(dc, topLeft);
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &top, nullptr, 0, nullptr);
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &left, nullptr, 0, nullptr);
    SetBkColor(dc, bottomRight);
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &bottom, nullptr, 0, nullptr);
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &right, nullptr, 0, nullptr);
    InflateRect(&rect, -1, -1);
  }
}

void DrawLabelLines(HDC dc, const RECT& label, int inset, COLORREF colour,
                    const std::string& text) {
  const std::vector<std::string> lines = SplitLabelLines(text);
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  const int lineHeight = metrics.tmHeight;
  const SavedDC saved(dc);
  IntersectClipRect(dc, label.left, label.top, label.right, label.bottom);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, colour);
  int y = label.top +
          CentredBlockTop(label.bottom - label.top, lineHeight, static_cast<int>(lines.size()));
  for (const std::string& line : lines) {
    RECT box{label.left + inset, y, label.right - inset, y + lineHeight};
    DrawTextA(dc, line.data(), static_cast<int>(line.size()), &box,
              DT_SINGLELINE | DT_CENTER | DT_TOP | DT_EXPANDTABS | DT_NOCLIP);
    y += lineHeight;
  }
}

}  // namespace corvaldo
