// The status window Mainfrm: a plain Win32 window painted with GDI. It is shown
// once, painted once, and left on screen until the process exits; nothing
// pumps its messages while the patches run.
#include <windows.h>

#include <string>
#include <vector>

#include "ui/label_text.h"
#include "ui/resources/resource_ids.h"
#include "ui/user_interface.h"

namespace corvaldo {
namespace {

constexpr char kClassName[] = "TMainfrm";
constexpr char kApplicationTitle[] = "Script Corvaldo";
constexpr int kOuterWidth = 320;
constexpr int kOuterHeight = 127;
// "MS Sans Serif" 8 point: an 11-pixel character height at 96 dots per inch.
constexpr int kFontCharacterHeight = 11;

struct Mainfrm {
  HWND hwnd = nullptr;
  HFONT font = nullptr;
  std::string message;  // the text of JvLbMensagem
};

Mainfrm& TheWindow() {
  static Mainfrm window;
  return window;
}

// A bevel drawn the toolkit's way: light top and left, dark bottom and right.
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

// JvLbMensagem: centred lines, no wrap, "&" marks a mnemonic, cut at its edges.
void PaintJvLbMensagem(HDC dc, const RECT& label, const std::string& text) {
  const std::vector<std::string> lines = SplitLabelLines(text);
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  const int lineHeight = metrics.tmHeight;
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, label.left, label.top, label.right, label.bottom);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  int y = label.top +
          CentredBlockTop(label.bottom - label.top, lineHeight, static_cast<int>(lines.size()));
  for (const std::string& line : lines) {
    // Centred within the label less one pixel at either side.
    RECT box{label.left + 1, y, label.right - 1, y + lineHeight};
    DrawTextA(dc, line.data(), static_cast<int>(line.size()), &box,
              DT_SINGLELINE | DT_CENTER | DT_TOP | DT_EXPANDTABS | DT_NOCLIP);
    y += lineHeight;
  }
  RestoreDC(dc, saved);
}

void Paint(Mainfrm& window) {
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(window.hwnd, &paint);
  RECT client;
  GetClientRect(window.hwnd, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  // PnFundo fills the client area; JvLbMensagem fills PnFundo inside its bevel.
  RECT inside = client;
  Frame3D(dc, inside, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW), 1);
  const HGDIOBJ oldFont = SelectObject(dc, window.font);
  PaintJvLbMensagem(dc, inside, window.message);
  SelectObject(dc, oldFont);
  EndPaint(window.hwnd, &paint);
}

LRESULT CALLBACK MainfrmProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Mainfrm& window = TheWindow();
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers everything
    case WM_PAINT:
      if (hwnd == window.hwnd) {
        Paint(window);
        return 0;
      }
      break;
    case WM_CLOSE:
      return 0;  // it stays up until the process ends
    default:
      break;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

bool RegisterMainfrmClass(HINSTANCE instance) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = MainfrmProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_SCRIPT_CORVALDO),
                                                    IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  windowClass.hIconSm = static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(IDI_SCRIPT_CORVALDO), IMAGE_ICON,
                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = kClassName;
  return RegisterClassExA(&windowClass) != 0;
}

}  // namespace

void ShowStatusWindow(const std::string& text) {
  Mainfrm& window = TheWindow();
  window.message = text;
  if (window.hwnd == nullptr) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterMainfrmClass(instance)) return;
    window.font = CreateFontA(-kFontCharacterHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                              DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                              DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
    // Centred on the whole desktop, which may span several monitors.
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN) +
                     (GetSystemMetrics(SM_CXVIRTUALSCREEN) - kOuterWidth) / 2;
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN) +
                    (GetSystemMetrics(SM_CYVIRTUALSCREEN) - kOuterHeight) / 2;
    window.hwnd = CreateWindowExA(0, kClassName, kApplicationTitle, WS_OVERLAPPEDWINDOW, left, top,
                                  kOuterWidth, kOuterHeight, nullptr, nullptr, instance, nullptr);
    if (window.hwnd == nullptr) return;
  } else {
    InvalidateRect(window.hwnd, nullptr, FALSE);
  }
  ShowWindow(window.hwnd, SW_SHOWNORMAL);
  UpdateWindow(window.hwnd);
  // One pass over what is waiting, so that the window paints; then the run
  // goes on without a message loop.
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

}  // namespace corvaldo
