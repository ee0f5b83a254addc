#include "ui/message_dialog.h"

#include <cstddef>

#include "ui/label_text.h"

namespace corvaldo {
namespace {

constexpr std::array<ButtonLook, 4> kLooks = {{
    {"SpeedButton1", "&Sim", {0, 128, 0}, kModalResultYes},
    {"SpeedButton2", "&Continuar", {0, 0, 128}, kModalResultYes},
    {"SpeedButton3", "&N\xE3o", {128, 0, 0}, kModalResultNo},
    {"SpeedButton4", "&Cancelar", {0, 0, 0}, kModalResultCancel},
}};

std::size_t IndexOf(DialogButton button) { return static_cast<std::size_t>(button); }

}  // namespace

const ButtonLook& LookOf(DialogButton button) { return kLooks[IndexOf(button)]; }

int TranslateModalResult(int modalResult) {
  if (modalResult == kModalResultYes) return 1;
  if (modalResult == kModalResultNo) return 0;
  return 2;
}

MessageDialogModel::MessageDialogModel(MessageKind kind) {
  // The edges are fixed per kind, not derived from the window's width.
  visible_[IndexOf(DialogButton::Sim)] = kind != 0;
  left_[IndexOf(DialogButton::Sim)] = kind == 1 ? 54 : 22;
  visible_[IndexOf(DialogButton::Continuar)] = kind == 0;
  left_[IndexOf(DialogButton::Continuar)] = 116;
  visible_[IndexOf(DialogButton::Nao)] = kind != 0;
  left_[IndexOf(DialogButton::Nao)] = kind == 1 ? 231 : 143;
  visible_[IndexOf(DialogButton::Cancelar)] = kind != 0 && kind != 1;
  left_[IndexOf(DialogButton::Cancelar)] = 214;
}

bool MessageDialogModel::IsVisible(DialogButton button) const { return visible_[IndexOf(button)]; }

int MessageDialogModel::LeftOf(DialogButton button) const { return left_[IndexOf(button)]; }

Rect MessageDialogModel::BoundsOf(DialogButton button) const {
  return Rect{LeftOf(button), kButtonTop, kButtonWidth, kButtonHeight};
}

std::optional<DialogButton> MessageDialogModel::ButtonAt(int x, int y) const {
  for (auto it = kButtonsBottomToTop.rbegin(); it != kButtonsBottomToTop.rend(); ++it) {
    if (IsVisible(*it) && BoundsOf(*it).Contains(x, y)) return *it;
  }
  return std::nullopt;
}

DialogHit MessageDialogModel::HitTest(int x, int y) const {
  // Buttons lie above the label, and the label above the picture.
  if (const auto button = ButtonAt(x, y)) return {DialogControl::Button, *button};
  if (kLabel1Bounds.Contains(x, y)) return {DialogControl::Label1};
  if (kImage3Bounds.Contains(x, y)) return {DialogControl::Image3};
  return {DialogControl::Panel1};
}

void MessageDialogModel::Click(DialogButton button) {
  switch (button) {
    case DialogButton::Sim:
      SpeedButton1Click();
      break;
    case DialogButton::Continuar:
      SpeedButton2Click();
      break;
    case DialogButton::Nao:
      SpeedButton3Click();
      break;
    case DialogButton::Cancelar:
      SpeedButton4Click();
      break;
  }
}

void MessageDialogModel::FormKeyDown(std::uint16_t key, ShiftState shift) {
  if ((shift & (kShiftHeld | kAltHeld | kCtrlHeld)) != 0) return;
  if (IsVisible(DialogButton::Sim)) {
    if (key == 'S') {
      SpeedButton1Click();
    } else if (key == 'N') {
      SpeedButton3Click();
    } else if ((key == kVkEscape || key == 'C') && IsVisible(DialogButton::Cancelar)) {
      SpeedButton4Click();
    }
  } else if (key == kVkReturn || key == kVkEscape || key == 'C') {
    SpeedButton2Click();
  }
}

bool MessageDialogModel::OnMnemonicChar(char c, bool /*alt*/, bool ctrl) {
  if (ctrl) return false;
  const char upper = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  for (const DialogButton button : kButtonsBottomToTop) {
    if (IsVisible(button) && MnemonicLetter(LookOf(button).caption) == upper) {
      Click(button);
      return true;
    }
  }
  return false;
}

void MessageDialogModel::RxLabel1MouseDown(DragHost& sender, MouseButton /*button*/,
                                           ShiftState /*shift*/, int x, int y) {
  dragging_ = true;
  lastDragPoint_ = sender.Image3ToScreen(Point{x, y});
}

void MessageDialogModel::RxLabel1MouseMove(DragHost& sender, ShiftState /*shift*/, int x, int y) {
  if (!dragging_) return;
  // Screen coordinates keep the deltas right while the window moves under the
  // pointer; each axis moves the window on its own.
  const Point p = sender.Image3ToScreen(Point{x, y});
  const int dx = p.x - lastDragPoint_.x;
  const int dy = p.y - lastDragPoint_.y;
  if (dx != 0) {
    sender.MoveWindowLeftBy(dx);
    lastDragPoint_.x = p.x;
  }
  if (dy != 0) {
    sender.MoveWindowTopBy(dy);
    lastDragPoint_.y = p.y;
  }
}

void MessageDialogModel::RxLabel1MouseUp(DragHost& /*sender*/, MouseButton /*button*/,
                                         ShiftState /*shift*/, int /*x*/, int /*y*/) {
  dragging_ = false;
}

}  // namespace corvaldo
