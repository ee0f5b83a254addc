// The message dialog TMensagensfrm as a borderless Win32 popup painted with
// GDI. Layout, keys, mnemonics and the drag live in MessageDialogModel; this
// view draws the model and feeds it the window's events.
//
// The form's pieces, and where each is:
//   Mensagensfrm       the class below; its constructor and Create make the
//                      form (fonts, Image3's picture, the glyphs, the window
//                      centred on the screen); ShowMessageDialog shows it
//                      modally (RunModal) and hands back its DialogResult.
//   Panel1             PaintPanel1: button face inside a 2-pixel bevel.
//   Image3             PaintImage3: the background picture. Presses on it go
//                      to its mouse handlers, RxLabel1MouseDown/Move/Up in the
//                      model, which drag the window.
//   Label1             PaintLabel1: the message, navy, centred.
//   SpeedButton1..4    Sim, Continuar, Não, Cancelar (DialogButton; LookOf has
//                      captions and colours). PaintButton draws one, MouseDown
//                      and MouseUp press it, and the model's Click calls its
//                      SpeedButtonNClick, which stores the modal result.
//   FormKeyDown        WM_KEYDOWN and WM_SYSKEYDOWN go to the model's.
//   mnemonics (&S...)  WM_CHAR and WM_SYSCHAR go to OnMnemonicChar.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/gdi_win32.h"
#include "ui/glyph_win32.h"
#include "ui/message_dialog.h"
#include "ui/resources/resource_ids.h"
#include "ui/task_windows_win32.h"
#include "ui/user_interface.h"

namespace corvaldo {
namespace {

constexpr char kClassName[] = "TMensagensfrm";
constexpr char kWindowTitle[] = "Mensagensfrm";
// "Comic Sans MS" 10 and 9 point bold: 13 and 12 pixels at 96 dots per inch.
constexpr int kLabelCharacterHeight = 13;
constexpr int kButtonCharacterHeight = 12;

COLORREF ToColorRef(Rgb colour) { return RGB(colour.red, colour.green, colour.blue); }

RECT ToRECT(const Rect& r) { return RECT{r.left, r.top, r.Right(), r.Bottom()}; }

HFONT MakeComicSans(int characterHeight) {
  return MakeFont("Comic Sans MS", characterHeight, FW_BOLD, VARIABLE_PITCH | FF_SCRIPT);
}

ShiftState CurrentShiftState(LPARAM keyData) {
  ShiftState shift = 0;
  if (GetKeyState(VK_SHIFT) < 0) shift |= kShiftHeld;
  if (GetKeyState(VK_CONTROL) < 0) shift |= kCtrlHeld;
  // The context code of the key message says whether Alt is down.
  if ((keyData & (1 << 29)) != 0) shift |= kAltHeld;
  return shift;
}

ShiftState MouseShiftState() {
  ShiftState shift = 0;
  if (GetKeyState(VK_SHIFT) < 0) shift |= kShiftHeld;
  if (GetKeyState(VK_CONTROL) < 0) shift |= kCtrlHeld;
  if (GetKeyState(VK_MENU) < 0) shift |= kAltHeld;
  return shift;
}

class Mensagensfrm final : public DragHost {
 public:
  Mensagensfrm(std::string text, MessageKind kind, HINSTANCE instance)
      : text_(std::move(text)),
        model_(kind),
        labelFont_(MakeComicSans(kLabelCharacterHeight)),
        buttonFont_(MakeComicSans(kButtonCharacterHeight)),
        background_(static_cast<HBITMAP>(
            LoadImageA(instance, MAKEINTRESOURCEA(IDB_IMAGE3_BACKGROUND), IMAGE_BITMAP, 0, 0, 0))),
        glyphs_{{{instance, IDB_GLYPH_SIM, 2},
                 {instance, IDB_GLYPH_CONTINUAR, 1},
                 {instance, IDB_GLYPH_NAO, 2},
                 {instance, IDB_GLYPH_CANCELAR, 1}}} {}

  ~Mensagensfrm() override {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  }
  Mensagensfrm(const Mensagensfrm&) = delete;
  Mensagensfrm& operator=(const Mensagensfrm&) = delete;

  bool Create(HINSTANCE instance, HWND owner) {
    // Centred on the primary screen; no frame, so the window is its client area.
    const int left = (GetSystemMetrics(SM_CXSCREEN) - kDialogClientWidth) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - kDialogClientHeight) / 2;
    // Unowned, it would put its never-shown title on the task bar.
    const DWORD exStyle = owner == nullptr ? WS_EX_TOOLWINDOW : 0;
    hwnd_ =
        CreateWindowExA(exStyle, kClassName, kWindowTitle, WS_POPUP | WS_CLIPSIBLINGS, left, top,
                        kDialogClientWidth, kDialogClientHeight, owner, nullptr, instance, this);
    return hwnd_ != nullptr;
  }

  // Handles the thread's messages until the dialog is answered.
  void RunModal() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd_);
    SetFocus(hwnd_);
    UpdateWindow(hwnd_);
    MSG msg;
    while (!model_.Answered()) {
      const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
      if (got == 0) {
        // The application is quitting: cancel, and leave the quit for the
        // loop that owns it.
        model_.Terminate();
        PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      if (got < 0) {
        model_.Terminate();
        break;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }

  void Hide() { ShowWindow(hwnd_, SW_HIDE); }
  int DialogResult() const { return model_.DialogResult(); }

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Mensagensfrm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    return self->Handle(hwnd, message, wParam, lParam);
  }

  // DragHost: Image3 sits at (2, 2) of the client area.
  Point Image3ToScreen(Point point) override {
    POINT screen{point.x + kImage3Bounds.left, point.y + kImage3Bounds.top};
    ClientToScreen(hwnd_, &screen);
    return Point{screen.x, screen.y};
  }
  void MoveWindowLeftBy(int dx) override { MoveBy(dx, 0); }
  void MoveWindowTopBy(int dy) override { MoveBy(0, dy); }

 private:
  void MoveBy(int dx, int dy) {
    RECT r;
    GetWindowRect(hwnd_, &r);
    SetWindowPos(hwnd_, nullptr, r.left + dx, r.top + dy, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  LRESULT Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const int x = static_cast<short>(LOWORD(lParam));
    const int y = static_cast<short>(HIWORD(lParam));
    switch (message) {
      case WM_ERASEBKGND:
        return 1;
      case WM_PAINT:
        Paint();
        return 0;
      case WM_KEYDOWN:
        model_.FormKeyDown(static_cast<std::uint16_t>(wParam), CurrentShiftState(lParam));
        return 0;
      case WM_SYSKEYDOWN:
        model_.FormKeyDown(static_cast<std::uint16_t>(wParam), CurrentShiftState(lParam));
        break;  // Alt+F4 still closes
      case WM_CHAR:
      case WM_SYSCHAR:
        model_.OnMnemonicChar(static_cast<char>(wParam), message == WM_SYSCHAR,
                              GetKeyState(VK_CONTROL) < 0);
        return 0;  // no beep for letters nobody owns
      case WM_CLOSE:
        model_.Terminate();
        return 0;
      case WM_LBUTTONDOWN:
        MouseDown(MouseButton::Left, x, y);
        return 0;
      case WM_RBUTTONDOWN:
        MouseDown(MouseButton::Right, x, y);
        return 0;
      case WM_MBUTTONDOWN:
        MouseDown(MouseButton::Middle, x, y);
        return 0;
      case WM_LBUTTONUP:
        MouseUp(MouseButton::Left, x, y);
        return 0;
      case WM_RBUTTONUP:
        MouseUp(MouseButton::Right, x, y);
        return 0;
      case WM_MBUTTONUP:
        MouseUp(MouseButton::Middle, x, y);
        return 0;
      case WM_MOUSEMOVE:
        MouseMove(x, y);
        return 0;
      case WM_MOUSELEAVE:
        trackingLeave_ = false;
        SetHot(std::nullopt);
        return 0;
      case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != hwnd) LoseCapture();
        return 0;
      case WM_DESTROY:
        hwnd_ = nullptr;
        break;
      default:
        break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }

  void MouseDown(MouseButton button, int x, int y) {
    // While the picture holds the pointer, every press goes to it.
    const DialogHit hit = imageCapture_ ? DialogHit{DialogControl::Image3} : model_.HitTest(x, y);
    if (pressed_) return;  // a button holds the pointer until the left button is up
    if (hit.control == DialogControl::Button) {
      // The buttons answer the left button only, on release over them.
      if (button != MouseButton::Left) return;
      pressed_ = hit.button;
      pressedInside_ = true;
      SetCapture(hwnd_);
      InvalidateButtons();
    } else if (hit.control == DialogControl::Image3) {
      if (button == MouseButton::Left) {
        // Captured, the picture sees the pointer anywhere until release.
        imageCapture_ = true;
        SetCapture(hwnd_);
      }
      model_.RxLabel1MouseDown(*this, button, MouseShiftState(), x - kImage3Bounds.left,
                               y - kImage3Bounds.top);
    }
  }

  void MouseMove(int x, int y) {
    if (pressed_) {
      const bool inside = model_.BoundsOf(*pressed_).Contains(x, y);
      if (inside != pressedInside_) {
        pressedInside_ = inside;
        InvalidateButtons();
      }
      return;
    }
    if (imageCapture_ || model_.HitTest(x, y).control == DialogControl::Image3) {
      model_.RxLabel1MouseMove(*this, MouseShiftState(), x - kImage3Bounds.left,
                               y - kImage3Bounds.top);
    }
    if (!imageCapture_) {
      if (!trackingLeave_) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd_, 0};
        trackingLeave_ = TrackMouseEvent(&track) != 0;
      }
      SetHot(model_.ButtonAt(x, y));
    }
  }

  void MouseUp(MouseButton button, int x, int y) {
    if (pressed_) {
      if (button != MouseButton::Left) return;
      const DialogButton clicked = *pressed_;
      const bool inside = model_.BoundsOf(clicked).Contains(x, y);
      pressed_.reset();
      ReleaseCapture();
      InvalidateButtons();
      if (inside) model_.Click(clicked);
      return;
    }
    const bool toImage = imageCapture_ || model_.HitTest(x, y).control == DialogControl::Image3;
    if (button == MouseButton::Left && imageCapture_) {
      imageCapture_ = false;
      ReleaseCapture();
    }
    if (toImage) {
      model_.RxLabel1MouseUp(*this, button, MouseShiftState(), x - kImage3Bounds.left,
                             y - kImage3Bounds.top);
    }
  }

  // Capture taken away (another window, a system key): the press that began
  // it will never be released here, so end what it started.
  void LoseCapture() {
    if (pressed_) {
      pressed_.reset();
      InvalidateButtons();
    }
    if (imageCapture_) {
      imageCapture_ = false;
      model_.RxLabel1MouseUp(*this, MouseButton::Left, 0, 0, 0);
    }
  }

  void SetHot(std::optional<DialogButton> hot) {
    if (hot == hot_) return;
    hot_ = hot;
    InvalidateButtons();
  }

  void InvalidateButtons() {
    const RECT strip{0, kButtonTop, kDialogClientWidth, kButtonTop + kButtonHeight};
    InvalidateRect(hwnd_, &strip, FALSE);
  }

  void Paint() {
    PAINTSTRUCT paint;
    const HDC windowDC = BeginPaint(hwnd_, &paint);
    // Drawn off screen first, so hot-tracking does not flicker.
    const ScopedGdiObj<HBITMAP> canvas(
        CreateCompatibleBitmap(windowDC, kDialogClientWidth, kDialogClientHeight));
    {
      const BitmapDC dc(windowDC, canvas.Get());
      PaintPanel1(dc.Get());
      PaintImage3(dc.Get());
      PaintLabel1(dc.Get());
      for (const DialogButton button : kButtonsBottomToTop) {
        if (model_.IsVisible(button)) PaintButton(dc.Get(), button);
      }
      BitBlt(windowDC, 0, 0, kDialogClientWidth, kDialogClientHeight, dc.Get(), 0, 0, SRCCOPY);
    }
    EndPaint(hwnd_, &paint);
  }

  void PaintPanel1(HDC dc) {
    RECT rect{0, 0, kDialogClientWidth, kDialogClientHeight};
    FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
    Frame3D(dc, rect, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW),
            kPanel1BevelWidth);
  }

  // The picture at its natural size from its top-left corner, cut to Image3.
  void PaintImage3(HDC dc) {
    if (background_.Get() == nullptr) return;
    BITMAP info{};
    GetObjectA(background_.Get(), sizeof info, &info);
    const BitmapDC picture(dc, background_.Get());
    BitBlt(dc, kImage3Bounds.left, kImage3Bounds.top,
           std::min<int>(info.bmWidth, kImage3Bounds.width),
           std::min<int>(info.bmHeight, kImage3Bounds.height), picture.Get(), 0, 0, SRCCOPY);
  }

  // Transparent, centred lines, no wrap, cut at the label's edges.
  void PaintLabel1(HDC dc) {
    const SelectedObject font(dc, labelFont_.Get());
    DrawLabelLines(dc, ToRECT(kLabel1Bounds), 0, ToColorRef(kLabel1Colour), text_);
  }

  // A flat button: no frame unless the pointer is over it; glyph and caption
  // centred together, 4 pixels apart.
  void PaintButton(HDC dc, DialogButton button) {
    const Rect bounds = model_.BoundsOf(button);
    RECT frame = ToRECT(bounds);
    const bool down = pressed_ == button && pressedInside_;
    const SavedDC saved(dc);
    IntersectClipRect(dc, frame.left, frame.top, frame.right, frame.bottom);
    if (down) {
      DrawEdge(dc, &frame, BDR_SUNKENOUTER, BF_RECT);
    } else if (hot_ == button && !pressed_) {
      DrawEdge(dc, &frame, BDR_RAISEDINNER, BF_RECT);
    }
    const ButtonLook& look = LookOf(button);
    const Glyph& glyph = glyphs_[static_cast<std::size_t>(button)];
    SelectObject(dc, buttonFont_.Get());
    const int captionLength = static_cast<int>(std::char_traits<char>::length(look.caption));
    const SIZE caption = MeasureText(dc, look.caption, captionLength);
    const int captionWidth = caption.cx;
    const int captionHeight = caption.cy;
    const int spacing = glyph.Width() > 0 ? kButtonGlyphSpacing : 0;
    const int total = glyph.Width() + spacing + captionWidth;
    const int shift = down ? 1 : 0;
    const int glyphX = bounds.left + (bounds.width - total + 1) / 2 + shift;
    const int glyphY = bounds.top + (bounds.height - glyph.Height() + 1) / 2 + shift;
    glyph.Draw(dc, glyphX, glyphY);
    const int textX = glyphX + glyph.Width() + spacing;
    const int textY = bounds.top + (bounds.height - captionHeight + 1) / 2 + shift;
    RECT text{textX, textY, textX + captionWidth, textY + captionHeight};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ToColorRef(look.captionColour));
    DrawTextA(dc, look.caption, captionLength, &text, DT_SINGLELINE | DT_CENTER | DT_NOCLIP);
  }

  HWND hwnd_ = nullptr;
  std::string text_;
  MessageDialogModel model_;
  ScopedGdiObj<HFONT> labelFont_;
  ScopedGdiObj<HFONT> buttonFont_;
  ScopedGdiObj<HBITMAP> background_;
  std::array<Glyph, 4> glyphs_;
  std::optional<DialogButton> hot_;
  std::optional<DialogButton> pressed_;
  bool pressedInside_ = false;
  bool imageCapture_ = false;
  bool trackingLeave_ = false;
};

bool RegisterDialogClass(HINSTANCE instance) {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = Mensagensfrm::WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = kClassName;
  registered = RegisterClassExA(&windowClass) != 0;
  return registered;
}

}  // namespace

int ShowMessageDialog(const std::string& text, MessageKind kind) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  if (!RegisterDialogClass(instance)) return 2;
  Mensagensfrm dialog(text, kind, instance);
  TaskWindowsDisabler disabled;
  if (!dialog.Create(instance, disabled.Owner())) return 2;
  dialog.RunModal();
  // Enabled again before the dialog goes, so that activation returns to them.
  disabled.Restore();
  dialog.Hide();
  return dialog.DialogResult();
}

}  // namespace corvaldo
