// The status window Mainfrm: a plain Win32 window painted with GDI. It is shown
// once, painted once, and left on screen until the process exits; nothing
// pumps its messages while the patches run.
//
// The form's pieces, and where each is:
//   Mainfrm        struct Mainfrm (one, TheWindow()); ShowStatusWindow makes
//                  it on the first call (class TMainfrm, MS Sans Serif, the
//                  window centred on the desktop), sets the text, shows it.
//                  MainfrmProc is its window procedure; it ignores closing.
//   PnFundo        the panel filling the client area: Paint draws its face
//                  and 1-pixel bevel.
//   JvLbMensagem   the label inside PnFundo's bevel holding the status text
//                  (Mainfrm::message): PaintJvLbMensagem.
#include <windows.h>

#include <string>

#include "ui/gdi_win32.h"
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

// JvLbMensagem: centred lines, no wrap, "&" marks a mnemonic, cut at its edges;
// each line centred within the label less one pixel at either side.
void PaintJvLbMensagem(HDC dc, const RECT& label, const std::string& text) {
  DrawLabelLines(dc, label, 1, GetSysColor(COLOR_WINDOWTEXT), text);
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
  {
    const SelectedObject font(dc, window.font);
    PaintJvLbMensagem(dc, inside, window.message);
  }
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
    window.font =
        MakeFont("MS Sans Serif", kFontCharacterHeight, FW_NORMAL, DEFAULT_PITCH | FF_DONTCARE);
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
