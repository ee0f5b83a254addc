// The message dialog TMensagensfrm as a borderless Win32 popup painted with
// GDI. Layout, keys, mnemonics and the drag live in MessageDialogModel; this
// view draws the model and feeds it the window's events.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/label_text.h"
#include "ui/message_dialog.h"
#include "ui/resources/resource_ids.h"
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
  return CreateFontA(-characterHeight, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     VARIABLE_PITCH | FF_SCRIPT, "Comic Sans MS");
}

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

// A button glyph ready for transparent drawing: the first frame of the strip,
// with the pixels of the bottom-left pixel's colour cut out.
class Glyph {
 public:
  Glyph(HINSTANCE instance, int resourceId, int frames) {
    const HBITMAP strip = static_cast<HBITMAP>(
        LoadImageA(instance, MAKEINTRESOURCEA(resourceId), IMAGE_BITMAP, 0, 0, 0));
    if (strip == nullptr) return;
    BITMAP info{};
    GetObjectA(strip, sizeof info, &info);
    width_ = info.bmWidth / (frames > 0 ? frames : 1);
    height_ = info.bmHeight;
    const HDC screen = GetDC(nullptr);
    {
      const BitmapDC source(screen, strip);
      const COLORREF transparent = GetPixel(source.Get(), 0, height_ - 1);
      // Monochrome mask: 1 where the glyph is transparent.
      mask_ = CreateBitmap(width_, height_, 1, 1, nullptr);
      const BitmapDC mask(screen, mask_);
      SetBkColor(source.Get(), transparent);
      BitBlt(mask.Get(), 0, 0, width_, height_, source.Get(), 0, 0, SRCCOPY);
      // The image with its transparent pixels turned black, for OR-ing in.
      image_ = CreateCompatibleBitmap(screen, width_, height_);
      const BitmapDC image(screen, image_);
      BitBlt(image.Get(), 0, 0, width_, height_, source.Get(), 0, 0, SRCCOPY);
      SetBkColor(image.Get(), RGB(0, 0, 0));
      SetTextColor(image.Get(), RGB(255, 255, 255));
      BitBlt(image.Get(), 0, 0, width_, height_, mask.Get(), 0, 0, SRCAND);
    }
    ReleaseDC(nullptr, screen);
    DeleteObject(strip);
  }
  ~Glyph() {
    if (image_ != nullptr) DeleteObject(image_);
    if (mask_ != nullptr) DeleteObject(mask_);
  }
  Glyph(const Glyph&) = delete;
  Glyph& operator=(const Glyph&) = delete;

  int Width() const { return image_ != nullptr ? width_ : 0; }
  int Height() const { return image_ != nullptr ? height_ : 0; }

  void Draw(HDC dc, int x, int y) const {
    if (image_ == nullptr) return;
    const BitmapDC mask(dc, mask_);
    const BitmapDC image(dc, image_);
    const COLORREF oldBk = SetBkColor(dc, RGB(255, 255, 255));
    const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
    BitBlt(dc, x, y, width_, height_, mask.Get(), 0, 0, SRCAND);
    BitBlt(dc, x, y, width_, height_, image.Get(), 0, 0, SRCPAINT);
    SetBkColor(dc, oldBk);
    SetTextColor(dc, oldText);
  }

 private:
  HBITMAP image_ = nullptr;
  HBITMAP mask_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

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
    DeleteObject(labelFont_);
    DeleteObject(buttonFont_);
    if (background_ != nullptr) DeleteObject(background_);
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
    const HBITMAP canvas =
        CreateCompatibleBitmap(windowDC, kDialogClientWidth, kDialogClientHeight);
    {
      const BitmapDC dc(windowDC, canvas);
      PaintPanel1(dc.Get());
      PaintImage3(dc.Get());
      PaintLabel1(dc.Get());
      for (const DialogButton button : kButtonsBottomToTop) {
        if (model_.IsVisible(button)) PaintButton(dc.Get(), button);
      }
      BitBlt(windowDC, 0, 0, kDialogClientWidth, kDialogClientHeight, dc.Get(), 0, 0, SRCCOPY);
    }
    DeleteObject(canvas);
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
    if (background_ == nullptr) return;
    BITMAP info{};
    GetObjectA(background_, sizeof info, &info);
    const BitmapDC picture(dc, background_);
    BitBlt(dc, kImage3Bounds.left, kImage3Bounds.top,
           std::min<int>(info.bmWidth, kImage3Bounds.width),
           std::min<int>(info.bmHeight, kImage3Bounds.height), picture.Get(), 0, 0, SRCCOPY);
  }

  // Transparent, centred lines, no wrap, cut at the label's edges.
  void PaintLabel1(HDC dc) {
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, kLabel1Bounds.left, kLabel1Bounds.top, kLabel1Bounds.Right(),
                      kLabel1Bounds.Bottom());
    SelectObject(dc, labelFont_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ToColorRef(kLabel1Colour));
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    const std::vector<std::string> lines = SplitLabelLines(text_);
    int y = kLabel1Bounds.top +
            CentredBlockTop(kLabel1Bounds.height, metrics.tmHeight, static_cast<int>(lines.size()));
    for (const std::string& line : lines) {
      RECT box{kLabel1Bounds.left, y, kLabel1Bounds.Right(), y + metrics.tmHeight};
      DrawTextA(dc, line.data(), static_cast<int>(line.size()), &box,
                DT_SINGLELINE | DT_CENTER | DT_TOP | DT_EXPANDTABS | DT_NOCLIP);
      y += metrics.tmHeight;
    }
    RestoreDC(dc, saved);
  }

  // A flat button: no frame unless the pointer is over it; glyph and caption
  // centred together, 4 pixels apart.
  void PaintButton(HDC dc, DialogButton button) {
    const Rect bounds = model_.BoundsOf(button);
    RECT frame = ToRECT(bounds);
    const bool down = pressed_ == button && pressedInside_;
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, frame.left, frame.top, frame.right, frame.bottom);
    if (down) {
      DrawEdge(dc, &frame, BDR_SUNKENOUTER, BF_RECT);
    } else if (hot_ == button && !pressed_) {
      DrawEdge(dc, &frame, BDR_RAISEDINNER, BF_RECT);
    }
    const ButtonLook& look = LookOf(button);
    const Glyph& glyph = glyphs_[static_cast<std::size_t>(button)];
    SelectObject(dc, buttonFont_);
    const int captionLength = static_cast<int>(std::char_traits<char>::length(look.caption));
    RECT caption{0, 0, 0, 0};
    DrawTextA(dc, look.caption, captionLength, &caption, DT_SINGLELINE | DT_CALCRECT);
    const int captionWidth = caption.right - caption.left;
    const int captionHeight = caption.bottom - caption.top;
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
    RestoreDC(dc, saved);
  }

  HWND hwnd_ = nullptr;
  std::string text_;
  MessageDialogModel model_;
  HFONT labelFont_;
  HFONT buttonFont_;
  HBITMAP background_;
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

// The thread's other top-level windows, disabled while the dialog runs.
class TaskWindowsDisabler {
 public:
  TaskWindowsDisabler() {
    EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(&windows_));
    for (const HWND window : windows_) EnableWindow(window, FALSE);
  }
  ~TaskWindowsDisabler() { Restore(); }
  TaskWindowsDisabler(const TaskWindowsDisabler&) = delete;
  TaskWindowsDisabler& operator=(const TaskWindowsDisabler&) = delete;

  // The window to own the dialog: the active one if it is among them.
  HWND Owner() const {
    const HWND active = GetActiveWindow();
    for (const HWND window : windows_) {
      if (window == active) return window;
    }
    return windows_.empty() ? nullptr : windows_.front();
  }

  void Restore() {
    for (const HWND window : windows_) EnableWindow(window, TRUE);
    windows_.clear();
  }

 private:
  static BOOL CALLBACK Collect(HWND window, LPARAM list) {
    if (IsWindowVisible(window) && IsWindowEnabled(window)) {
      reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    }
    return TRUE;
  }

  std::vector<HWND> windows_;
};

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
