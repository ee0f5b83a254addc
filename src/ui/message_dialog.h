// The message dialog's behaviour without any window system: which buttons a
// kind shows and where, which keys and mnemonics answer it, what a press at a
// point hits, and the arithmetic of dragging the window by its picture. The
// platform views draw this model and forward their events to it.
//
// The form Mensagensfrm keeps its names here:
//   Panel1, Image3, Label1   the panel, the picture on it and the message over
//                            that: their bounds (kImage3Bounds, kLabel1Bounds)
//                            and DialogControl, what a point hits.
//   SpeedButton1..4          DialogButton Sim, Continuar, Nao, Cancelar; LookOf
//                            gives each its caption, colour and modal result.
//   SpeedButtonNClick        the buttons' click handlers: each stores its modal
//                            result; Click calls the one of a button.
//   FormKeyDown              the form's key handler (S, N, C, Return, Esc).
//   RxLabel1MouseDown/...    Image3's mouse handlers, which drag the window.
//   ModalResult              what the handlers stored; DialogResult is what
//                            ShowMessageDialog returns for it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "ui/user_interface.h"

namespace corvaldo {

struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool operator==(const Point&) const = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int Right() const { return left + width; }
  int Bottom() const { return top + height; }
  bool Contains(int x, int y) const { return x >= left && x < Right() && y >= top && y < Bottom(); }
  bool operator==(const Rect&) const = default;
};

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  bool operator==(const Rgb&) const = default;
};

// Pixel geometry at 96 dots per inch, in the client coordinates of the window
// (which Panel1 fills exactly).
inline constexpr int kDialogClientWidth = 313;
inline constexpr int kDialogClientHeight = 132;
inline constexpr int kPanel1BevelWidth = 2;
inline constexpr Rect kImage3Bounds{2, 2, 309, 128};
inline constexpr Rect kLabel1Bounds{2, 2, 309, 92};
inline constexpr int kButtonWidth = 81;
inline constexpr int kButtonHeight = 25;
inline constexpr int kButtonTop = 96;
// Space between a button's glyph and its caption.
inline constexpr int kButtonGlyphSpacing = 4;

inline constexpr Rgb kLabel1Colour{0, 0, 128};

// SpeedButton1 to SpeedButton4, in the order they are stacked: a later button
// lies above an earlier one where they overlap.
enum class DialogButton : std::uint8_t { Sim, Continuar, Nao, Cancelar };
inline constexpr std::array<DialogButton, 4> kButtonsBottomToTop = {
    DialogButton::Sim, DialogButton::Continuar, DialogButton::Nao, DialogButton::Cancelar};

struct ButtonLook {
  const char* name;     // the control's name, SpeedButton1 to SpeedButton4
  const char* caption;  // with the "&" that marks its mnemonic
  Rgb captionColour;
  int modalResult;  // what its click handler stores
};
const ButtonLook& LookOf(DialogButton button);

// Modal results the click handlers store.
inline constexpr int kModalResultYes = 6;
inline constexpr int kModalResultNo = 7;
inline constexpr int kModalResultCancel = 2;

// 6 (yes) -> 1, 7 (no) -> 0, anything else -> 2.
int TranslateModalResult(int modalResult);

// Modifier keys held, as a set of flags.
using ShiftState = unsigned;
inline constexpr ShiftState kShiftHeld = 1;
inline constexpr ShiftState kAltHeld = 2;
inline constexpr ShiftState kCtrlHeld = 4;

// The virtual-key codes the dialog answers besides the letters 'S', 'N', 'C'.
inline constexpr std::uint16_t kVkReturn = 0x0D;
inline constexpr std::uint16_t kVkEscape = 0x1B;

enum class MouseButton : std::uint8_t { Left, Right, Middle };

// What lies on top at a point of the client area.
enum class DialogControl : std::uint8_t { Panel1, Image3, Label1, Button };
struct DialogHit {
  DialogControl control = DialogControl::Panel1;
  DialogButton button = DialogButton::Sim;  // meaningful for Button only
};

// The window the picture belongs to, as the drag handlers need it.
class DragHost {
 public:
  virtual ~DragHost() = default;
  // Converts a point in Image3's client coordinates to screen coordinates.
  virtual Point Image3ToScreen(Point point) = 0;
  // Moves the window's left (top) edge by the given number of pixels.
  virtual void MoveWindowLeftBy(int dx) = 0;
  virtual void MoveWindowTopBy(int dy) = 0;
};

class MessageDialogModel {
 public:
  // Shows the buttons of `kind`; a kind other than 0 and 1 gets the
  // three-button layout.
  explicit MessageDialogModel(MessageKind kind);

  bool IsVisible(DialogButton button) const;
  int LeftOf(DialogButton button) const;
  Rect BoundsOf(DialogButton button) const;
  // The topmost visible button at a client point, if any.
  std::optional<DialogButton> ButtonAt(int x, int y) const;
  DialogHit HitTest(int x, int y) const;

  void SpeedButton1Click() { modalResult_ = kModalResultYes; }
  void SpeedButton2Click() { modalResult_ = kModalResultYes; }
  void SpeedButton3Click() { modalResult_ = kModalResultNo; }
  void SpeedButton4Click() { modalResult_ = kModalResultCancel; }
  void Click(DialogButton button);

  // A key went down. Acts only without modifiers.
  void FormKeyDown(std::uint16_t key, ShiftState shift);
  // A typed character: clicks the visible button whose mnemonic it is, in
  // either case, alone or with Alt but never with Ctrl. True when it did.
  bool OnMnemonicChar(char c, bool alt, bool ctrl);
  // The application was told to quit, or the window was closed some other way.
  void Terminate() { modalResult_ = kModalResultCancel; }

  int ModalResult() const { return modalResult_; }
  bool Answered() const { return modalResult_ != 0; }
  int DialogResult() const { return TranslateModalResult(modalResult_); }

  // Mouse handlers of Image3; x and y are in Image3's client coordinates.
  void RxLabel1MouseDown(DragHost& sender, MouseButton button, ShiftState shift, int x, int y);
  void RxLabel1MouseMove(DragHost& sender, ShiftState shift, int x, int y);
  void RxLabel1MouseUp(DragHost& sender, MouseButton button, ShiftState shift, int x, int y);
  bool Dragging() const { return dragging_; }
  Point LastDragPoint() const { return lastDragPoint_; }

 private:
  std::array<bool, 4> visible_{};
  std::array<int, 4> left_{};
  int modalResult_ = 0;
  bool dragging_ = false;
  Point lastDragPoint_;
};

}  // namespace corvaldo
