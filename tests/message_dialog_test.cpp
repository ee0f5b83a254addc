#include "ui/message_dialog.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/label_text.h"

namespace corvaldo {
namespace {

constexpr std::optional<int> kHidden = std::nullopt;

struct LayoutCase {
  MessageKind kind;
  std::optional<int> sim, continuar, nao, cancelar;  // left edge, or hidden
};

class LayoutTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTest, ShowsTheKindsButtonsAtFixedEdges) {
  const LayoutCase& c = GetParam();
  const MessageDialogModel model(c.kind);
  const std::pair<DialogButton, std::optional<int>> expected[] = {
      {DialogButton::Sim, c.sim},
      {DialogButton::Continuar, c.continuar},
      {DialogButton::Nao, c.nao},
      {DialogButton::Cancelar, c.cancelar}};
  for (const auto& [button, left] : expected) {
    SCOPED_TRACE(LookOf(button).name);
    EXPECT_EQ(model.IsVisible(button), left.has_value());
    if (left) {
      EXPECT_EQ(model.BoundsOf(button), (Rect{*left, 96, 81, 25}));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, LayoutTest,
                         testing::Values(LayoutCase{0, kHidden, 116, kHidden, kHidden},
                                         LayoutCase{1, 54, kHidden, 231, kHidden},
                                         LayoutCase{2, 22, kHidden, 143, 214}));

struct HitCase {
  MessageKind kind;
  int x, y;
  DialogControl control;
  std::optional<DialogButton> button;
};

class HitTestTest : public testing::TestWithParam<HitCase> {};

TEST_P(HitTestTest, ReturnsTheTopmostControl) {
  const HitCase& c = GetParam();
  const MessageDialogModel model(c.kind);
  const DialogHit hit = model.HitTest(c.x, c.y);
  EXPECT_EQ(hit.control, c.control);
  EXPECT_EQ(model.ButtonAt(c.x, c.y), c.button);
  if (c.button) {
    EXPECT_EQ(hit.button, *c.button);
  }
}

INSTANTIATE_TEST_SUITE_P(Points, HitTestTest,
                         testing::Values(
                             // The 10-pixel overlap of Não (143..223) and Cancelar (214..294).
                             HitCase{2, 214, 100, DialogControl::Button, DialogButton::Cancelar},
                             HitCase{2, 223, 120, DialogControl::Button, DialogButton::Cancelar},
                             HitCase{2, 213, 100, DialogControl::Button, DialogButton::Nao},
                             HitCase{2, 224, 100, DialogControl::Button, DialogButton::Cancelar},
                             // Cancelar is hidden in kind 1, so the same column is bare picture.
                             HitCase{1, 218, 100, DialogControl::Image3, std::nullopt},
                             HitCase{1, 311, 120, DialogControl::Button, DialogButton::Nao},
                             HitCase{1, 312, 120, DialogControl::Panel1, std::nullopt},
                             // Hidden Continuar does not catch presses in kinds 1 and 2.
                             HitCase{2, 130, 100, DialogControl::Image3, std::nullopt},
                             HitCase{0, 116, 96, DialogControl::Button, DialogButton::Continuar},
                             HitCase{0, 196, 100, DialogControl::Button, DialogButton::Continuar},
                             HitCase{0, 197, 100, DialogControl::Image3, std::nullopt},
                             HitCase{0, 116, 121, DialogControl::Image3, std::nullopt},
                             // The label covers the picture's upper part; the bevel is the panel's.
                             HitCase{0, 150, 93, DialogControl::Label1, std::nullopt},
                             HitCase{0, 150, 94, DialogControl::Image3, std::nullopt},
                             HitCase{0, 1, 50, DialogControl::Panel1, std::nullopt},
                             HitCase{0, 150, 130, DialogControl::Panel1, std::nullopt}));

TEST(MessageDialogModelTest, ButtonsCarryTheirCaptionsColoursAndResults) {
  struct Expected {
    DialogButton button;
    std::string caption;
    Rgb colour;
    int result;
  };
  const Expected table[] = {{DialogButton::Sim, "&Sim", {0, 128, 0}, 1},
                            {DialogButton::Continuar, "&Continuar", {0, 0, 128}, 1},
                            {DialogButton::Nao, "&N\xE3o", {128, 0, 0}, 0},
                            {DialogButton::Cancelar, "&Cancelar", {0, 0, 0}, 2}};
  for (const Expected& e : table) {
    SCOPED_TRACE(e.caption);
    EXPECT_EQ(LookOf(e.button).caption, e.caption);
    EXPECT_EQ(LookOf(e.button).captionColour, e.colour);
    MessageDialogModel model(2);
    EXPECT_FALSE(model.Answered());
    model.Click(e.button);
    EXPECT_EQ(model.DialogResult(), e.result);
  }
}

TEST(MessageDialogModelTest, ClickHandlersStoreTheirModalResults) {
  MessageDialogModel model(2);
  model.SpeedButton1Click();
  EXPECT_EQ(model.ModalResult(), 6);
  model.SpeedButton2Click();
  EXPECT_EQ(model.ModalResult(), 6);
  model.SpeedButton3Click();
  EXPECT_EQ(model.ModalResult(), 7);
  model.SpeedButton4Click();
  EXPECT_EQ(model.ModalResult(), 2);
}

TEST(MessageDialogModelTest, TranslatesModalResults) {
  const std::pair<int, int> table[] = {{6, 1}, {7, 0}, {2, 2}, {1, 2}, {0, 2}, {-6, 2}};
  for (const auto& [modal, result] : table) EXPECT_EQ(TranslateModalResult(modal), result) << modal;
}

TEST(MessageDialogModelTest, TerminationAnswersTwo) {
  MessageDialogModel model(1);
  model.Terminate();
  EXPECT_TRUE(model.Answered());
  EXPECT_EQ(model.DialogResult(), 2);
}

// -1 means the key leaves the dialog running.
struct KeyCase {
  MessageKind kind;
  std::uint16_t key;
  ShiftState shift;
  int result;
};

class KeyDownTest : public testing::TestWithParam<KeyCase> {};

TEST_P(KeyDownTest, AnswersPerTheVisibleButtons) {
  const KeyCase& c = GetParam();
  MessageDialogModel model(c.kind);
  model.FormKeyDown(c.key, c.shift);
  EXPECT_EQ(model.Answered() ? model.DialogResult() : -1, c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyDownTest,
    testing::Values(KeyCase{0, kVkReturn, 0, 1}, KeyCase{0, kVkEscape, 0, 1}, KeyCase{0, 'C', 0, 1},
                    KeyCase{0, 'S', 0, -1}, KeyCase{0, 'N', 0, -1},  //
                    KeyCase{1, 'S', 0, 1}, KeyCase{1, 'N', 0, 0}, KeyCase{1, kVkReturn, 0, -1},
                    KeyCase{1, kVkEscape, 0, -1}, KeyCase{1, 'C', 0, -1},  //
                    KeyCase{2, 'S', 0, 1}, KeyCase{2, 'N', 0, 0}, KeyCase{2, kVkEscape, 0, 2},
                    KeyCase{2, 'C', 0, 2}, KeyCase{2, kVkReturn, 0, -1},
                    // Lower-case codes are not virtual keys of letters.
                    KeyCase{2, 's', 0, -1},
                    // Any modifier makes the handler ignore the key.
                    KeyCase{2, 'S', kShiftHeld, -1}, KeyCase{2, 'N', kAltHeld, -1},
                    KeyCase{2, 'C', kCtrlHeld, -1}, KeyCase{0, kVkReturn, kShiftHeld, -1},
                    KeyCase{0, kVkEscape, kCtrlHeld | kAltHeld, -1}));

struct MnemonicCase {
  MessageKind kind;
  char c;
  bool alt, ctrl;
  int result;  // -1: not taken
};

class MnemonicTest : public testing::TestWithParam<MnemonicCase> {};

TEST_P(MnemonicTest, ClicksTheVisibleOwnerOfTheLetter) {
  const MnemonicCase& c = GetParam();
  MessageDialogModel model(c.kind);
  EXPECT_EQ(model.OnMnemonicChar(c.c, c.alt, c.ctrl), c.result != -1);
  EXPECT_EQ(model.Answered() ? model.DialogResult() : -1, c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Letters, MnemonicTest,
    testing::Values(MnemonicCase{1, 'S', false, false, 1}, MnemonicCase{1, 's', true, false, 1},
                    MnemonicCase{1, 'n', false, false, 0}, MnemonicCase{2, 'N', true, false, 0},
                    // C belongs to Continuar in kind 0 and to Cancelar in kind 2.
                    MnemonicCase{0, 'c', true, false, 1}, MnemonicCase{2, 'C', true, false, 2},
                    MnemonicCase{2, 'c', false, false, 2},
                    // Hidden buttons never react.
                    MnemonicCase{1, 'c', true, false, -1}, MnemonicCase{0, 'S', false, false, -1},
                    MnemonicCase{0, 'n', true, false, -1},
                    // Ctrl never, other letters never.
                    MnemonicCase{1, 'S', false, true, -1}, MnemonicCase{2, 'c', true, true, -1},
                    MnemonicCase{2, 'x', false, false, -1},
                    MnemonicCase{2, '\xE3', false, false, -1}));

class FakeHost : public DragHost {
 public:
  Point origin{500, 300};  // the picture's top-left on the screen
  std::vector<std::string> calls;

  Point Image3ToScreen(Point p) override { return {p.x + origin.x, p.y + origin.y}; }
  void MoveWindowLeftBy(int dx) override {
    origin.x += dx;
    calls.push_back("x" + std::to_string(dx));
  }
  void MoveWindowTopBy(int dy) override {
    origin.y += dy;
    calls.push_back("y" + std::to_string(dy));
  }
};

TEST(MessageDialogDragTest, MovesTheWindowByThePointersScreenDelta) {
  MessageDialogModel model(0);
  FakeHost host;
  model.RxLabel1MouseMove(host, 0, 40, 110);
  EXPECT_TRUE(host.calls.empty()) << "no drag before a press";

  model.RxLabel1MouseDown(host, MouseButton::Left, 0, 10, 100);
  EXPECT_TRUE(model.Dragging());
  EXPECT_EQ(model.LastDragPoint(), (Point{510, 400}));

  // Diagonal: two separate moves, x first.
  model.RxLabel1MouseMove(host, 0, 13, 95);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"x3", "y-5"}));
  EXPECT_EQ(model.LastDragPoint(), (Point{513, 395}));
  EXPECT_EQ(host.origin, (Point{503, 295}));

  // The window followed, so the pointer is at the same picture point again:
  // a pointer moving on the screen shows up relative to the new origin.
  host.calls.clear();
  model.RxLabel1MouseMove(host, 0, 10, 100);  // screen (513, 395): no change
  model.RxLabel1MouseMove(host, 0, 10, 107);  // only down
  EXPECT_EQ(host.calls, (std::vector<std::string>{"y7"}));

  model.RxLabel1MouseUp(host, MouseButton::Left, 0, 10, 107);
  EXPECT_FALSE(model.Dragging());
  host.calls.clear();
  model.RxLabel1MouseMove(host, 0, 90, 10);
  EXPECT_TRUE(host.calls.empty());
}

TEST(MessageDialogDragTest, AnyMouseButtonStartsAndEndsADrag) {
  for (const MouseButton button : {MouseButton::Right, MouseButton::Middle}) {
    MessageDialogModel model(1);
    FakeHost host;
    model.RxLabel1MouseDown(host, button, kShiftHeld, 0, 0);
    model.RxLabel1MouseMove(host, 0, -4, 0);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"x-4"}));
    model.RxLabel1MouseUp(host, button, 0, 0, 0);
    EXPECT_FALSE(model.Dragging());
  }
}

struct SplitCase {
  std::string text;
  std::vector<std::string> lines;
};

class SplitLabelLinesTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitLabelLinesTest, TreatsEachPairOrLoneByteAsOneBreak) {
  EXPECT_EQ(SplitLabelLines(GetParam().text), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SplitLabelLinesTest,
    testing::Values(
        SplitCase{"", {""}}, SplitCase{"one", {"one"}}, SplitCase{"a\r\nb", {"a", "b"}},
        SplitCase{"a\n\rb", {"a", "b"}}, SplitCase{"a\nb\rc", {"a", "b", "c"}},
        SplitCase{"a\n\n", {"a", "", ""}}, SplitCase{"a\r\rb", {"a", "", "b"}},
        SplitCase{"a\r\n\rb", {"a", "", "b"}}, SplitCase{"a\n\r\n\rb", {"a", "", "b"}},
        SplitCase{"\t x \x01", {"\t x \x01"}},
        SplitCase{"Actualizando o script da Corvaldo...\n\rAguarde\n\r\n\rUpdating the Portuguese "
                  "FA Cup script...\n\rPlease Wait.",
                  {"Actualizando o script da Corvaldo...", "Aguarde", "",
                   "Updating the Portuguese FA Cup script...", "Please Wait."}}));

TEST(LabelTextTest, ResolvesMnemonics) {
  struct Case {
    std::string text, shown;
    std::size_t underline;
  };
  constexpr std::size_t kNone = MnemonicText::kNoUnderline;
  const Case table[] = {{"&Sim", "Sim", 0},        {"&N\xE3o", "N\xE3o", 0}, {"a&&b", "a&b", kNone},
                        {"&&&x", "&x", 1},         {"ab&", "ab", kNone},     {"x&y&z", "xyz", 1},
                        {"plain", "plain", kNone}, {"", "", kNone}};
  for (const Case& c : table) {
    const MnemonicText m = ResolveMnemonic(c.text);
    EXPECT_EQ(m.shown, c.shown) << c.text;
    EXPECT_EQ(m.underline, c.underline) << c.text;
  }
  EXPECT_EQ(MnemonicLetter("&Cancelar"), 'C');
  EXPECT_EQ(MnemonicLetter("e&xit"), 'X');
  EXPECT_EQ(MnemonicLetter("A&&B"), '\0');
}

TEST(LabelTextTest, CentresABlockRoundingDown) {
  EXPECT_EQ(CentredBlockTop(91, 13, 5), 13);   // free 26
  EXPECT_EQ(CentredBlockTop(92, 19, 1), 36);   // free 73
  EXPECT_EQ(CentredBlockTop(92, 19, 5), -2);   // free -3
  EXPECT_EQ(CentredBlockTop(92, 19, 6), -11);  // free -22
  EXPECT_EQ(CentredBlockTop(10, 11, 1), -1);   // free -1
}

}  // namespace
}  // namespace corvaldo
