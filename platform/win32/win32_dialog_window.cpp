// The window that shows a dialog to a person: an SDL window the size of the
// dialog, its controls drawn at their dialog-unit positions with the built-in
// bitmap font, mouse clicks and keys turned into the same user actions the
// scripted driver uses.
#include "platform/win32/win32_dialog_window.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/win32_font.h"

namespace win32dialog {

namespace {

// Dialog units at 96 dpi with an 8-point font are 1.5 by 1.625 pixels; the window
// is drawn twice that size so the bitmap font stays readable.
constexpr int kScale = 2;
int PX(int du) { return du * 3 * kScale / 2; }
int PY(int du) { return du * 13 * kScale / 8; }

constexpr int kVkReturn = 0x0D;
constexpr int kVkEscape = 0x1B;

struct Rgb {
  Uint8 r, g, b;
};
constexpr Rgb kFace{212, 208, 200};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kShadow{128, 128, 128};
constexpr Rgb kGrayText{128, 128, 128};
constexpr Rgb kSelection{10, 36, 106};

bool DisplayUsable() {
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0 && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver == nullptr) return false;
  return std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "offscreen") != 0;
}

class SdlView;
// Every dialog window on the screen; all are repainted while the innermost one
// runs, as the system repaints an owner under its modal dialog.
std::vector<SdlView*> shownViews;

class SdlView final : public WindowView {
public:
  SdlView(Dialog* dialog, SDL_Window* window) : dialog_(dialog), window_(window) { shownViews.push_back(this); }
  ~SdlView() override {
    shownViews.erase(std::remove(shownViews.begin(), shownViews.end(), this), shownViews.end());
    if (shownViews.empty()) SDL_StopTextInput();
    SDL_DestroyWindow(window_);
  }

  bool Serve() override {
    if (dialog_->captionChanged) {
      SDL_SetWindowTitle(window_, dialog_->caption.c_str());
      dialog_->captionChanged = false;
    }
    for (SdlView* view : shownViews) view->Draw();
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, 30) == 0) return true;
    do {
      if (!Handle(event)) return false;
      if (dialog_->ended) return true;
    } while (SDL_PollEvent(&event) != 0);
    return true;
  }

private:
  // ---- Drawing ----
  void Fill(int x, int y, int w, int h, Rgb c) {
    SDL_Rect rect{x, y, w, h};
    SDL_FillRect(surface_, &rect, SDL_MapRGB(surface_->format, c.r, c.g, c.b));
  }

  void Frame(int x, int y, int w, int h, Rgb topLeft, Rgb bottomRight) {
    Fill(x, y, w, kScale, topLeft);
    Fill(x, y, kScale, h, topLeft);
    Fill(x, y + h - kScale, w, kScale, bottomRight);
    Fill(x + w - kScale, y, kScale, h, bottomRight);
  }

  static int TextWidth(const std::string& text) {
    int width = 0;
    for (char c : text) {
      if (c != '&') width += (win32font::GlyphOf(c).width - 1) * kScale;
    }
    return width;
  }

  // Draws text with its '&' mnemonics underlined; returns the width drawn.
  int Text(int x, int y, const std::string& text, Rgb c) {
    int pen = x;
    bool underline = false;
    for (char ch : text) {
      if (ch == '&' && !underline) {
        underline = true;
        continue;
      }
      const win32font::Glyph& glyph = win32font::GlyphOf(ch);
      for (int row = 0; row < win32font::kHeight; ++row) {
        for (int col = 0; col < 16; ++col) {
          if ((glyph.rows[row] >> col) & 1) Fill(pen + col * kScale, y + row * kScale, kScale, kScale, c);
        }
      }
      int advance = (glyph.width - 1) * kScale;
      if (underline) Fill(pen, y + 11 * kScale, advance, kScale, c);
      underline = false;
      pen += advance;
    }
    return pen - x;
  }

  void Box(const Control& control, int* x, int* y, int* w, int* h) const {
    *x = PX(control.x);
    *y = PY(control.y);
    *w = PX(control.cx);
    *h = PY(control.cy);
  }

  // ---- Controls, one drawing function per kind ----
  // Each gets the control's box in pixels, the ink for its text and the text's
  // top for a one-line control.
  struct ControlBox {
    int x, y, w, h;
    Rgb ink;
    int textY;
  };

  void DrawPushButton(const Control& control, const ControlBox& b) {
    Fill(b.x, b.y, b.w, b.h, kFace);
    if (control.kind == ControlKind::defPushButton) {
      Frame(b.x, b.y, b.w, b.h, kBlack, kBlack);
      Frame(b.x + kScale, b.y + kScale, b.w - 2 * kScale, b.h - 2 * kScale, kWhite, kShadow);
    } else {
      Frame(b.x, b.y, b.w, b.h, kWhite, kShadow);
    }
    Text(b.x + (b.w - TextWidth(control.text)) / 2, b.textY, control.text, b.ink);
  }

  void DrawCheckBox(const Control& control, const ControlBox& b) {
    int side = 13 * kScale / 2 + kScale;
    int top = b.y + (b.h - side) / 2;
    Fill(b.x, top, side, side, kWhite);
    Frame(b.x, top, side, side, kShadow, kFace);
    if (control.checked) {
      // A tick: a short stroke down to the right, then a long one up.
      int baseX = b.x + 2 * kScale;
      int baseY = top + side / 2;
      for (int i = 0; i < 3; ++i) Fill(baseX + i * kScale, baseY + i * kScale - kScale, kScale, 2 * kScale, b.ink);
      for (int i = 0; i < 5; ++i) {
        Fill(baseX + (3 + i) * kScale, baseY + (1 - i) * kScale - kScale, kScale, 2 * kScale, b.ink);
      }
    }
    Text(b.x + side + 3 * kScale, b.textY, control.text, b.ink);
  }

  void DrawRadioButton(const Control& control, const ControlBox& b) {
    int side = 13 * kScale / 2 + kScale;
    int top = b.y + (b.h - side) / 2;
    int r = side / 2;
    for (int dy = -r; dy < r; ++dy) {
      for (int dx = -r; dx < r; ++dx) {
        int d = dx * dx + dy * dy;
        if (d < (r - 1) * (r - 1)) {
          Fill(b.x + r + dx, top + r + dy, 1, 1, kWhite);
        } else if (d < r * r) {
          Fill(b.x + r + dx, top + r + dy, 1, 1, kShadow);
        }
        if (control.checked && d < (r / 2) * (r / 2)) Fill(b.x + r + dx, top + r + dy, 1, 1, b.ink);
      }
    }
    Text(b.x + side + 3 * kScale, b.textY, control.text, b.ink);
  }

  void DrawGroupBox(const Control& control, const ControlBox& b) {
    int lineY = b.y + win32font::kHeight * kScale / 2;
    Frame(b.x, lineY, b.w, b.h - (lineY - b.y), kShadow, kShadow);
    Frame(b.x + kScale, lineY + kScale, b.w - 2 * kScale, b.h - (lineY - b.y) - 2 * kScale, kWhite, kWhite);
    if (!control.text.empty()) {
      int textW = TextWidth(control.text);
      Fill(b.x + 4 * kScale, b.y, textW + 4 * kScale, win32font::kHeight * kScale, kFace);
      Text(b.x + 6 * kScale, b.y, control.text, b.ink);
    }
  }

  void DrawLabel(const Control& control, const ControlBox& b) {
    int width = TextWidth(control.text);
    int left = b.x;
    if ((control.style & 3) == SS_RIGHT) left = b.x + b.w - width;
    if ((control.style & 3) == SS_CENTER) left = b.x + (b.w - width) / 2;
    Text(left, b.y, control.text, b.ink);
  }

  void DrawEdit(const Control& control, const ControlBox& b) {
    Fill(b.x, b.y, b.w, b.h, kWhite);
    Frame(b.x, b.y, b.w, b.h, kShadow, kFace);
    Text(b.x + 3 * kScale, b.textY, control.text, b.ink);
    if (focus_ == &control) {
      int caret = b.x + 3 * kScale + TextWidth(control.text);
      Fill(caret, b.y + 2 * kScale, kScale, b.h - 4 * kScale, b.ink);
    }
  }

  void DrawComboBox(const Control& control, const ControlBox& b) {
    // The closed box is one text line high; the template height is the list's.
    int boxH = std::min(b.h, PY(12));
    Fill(b.x, b.y, b.w, boxH, kWhite);
    Frame(b.x, b.y, b.w, boxH, kShadow, kFace);
    std::string shown = VisibleText(control);
    Text(b.x + 3 * kScale, b.y + (boxH - win32font::kHeight * kScale) / 2, shown, b.ink);
    if (focus_ == &control && control.kind == ControlKind::comboBox) {
      int caret = b.x + 3 * kScale + TextWidth(shown);
      Fill(caret, b.y + 2 * kScale, kScale, boxH - 4 * kScale, b.ink);
    }
    int arrowW = boxH - 2 * kScale;
    int ax = b.x + b.w - arrowW - kScale;
    Fill(ax, b.y + kScale, arrowW, boxH - 2 * kScale, kFace);
    Frame(ax, b.y + kScale, arrowW, boxH - 2 * kScale, kWhite, kShadow);
    for (int i = 0; i < 4 * kScale; i += kScale) {
      Fill(ax + arrowW / 2 - 4 * kScale + i, b.y + boxH / 2 - 2 * kScale + i / 2, 8 * kScale - 2 * i, kScale, b.ink);
    }
  }

  void DrawControl(const Control& control) {
    ControlBox b;
    Box(control, &b.x, &b.y, &b.w, &b.h);
    b.ink = control.enabled && dialog_->enabled ? kBlack : kGrayText;
    b.textY = b.y + (b.h - win32font::kHeight * kScale) / 2;
    switch (control.kind) {
      case ControlKind::pushButton:
      case ControlKind::defPushButton: DrawPushButton(control, b); break;
      case ControlKind::checkBox:
      case ControlKind::autoCheckBox: DrawCheckBox(control, b); break;
      case ControlKind::radioButton:
      case ControlKind::autoRadioButton: DrawRadioButton(control, b); break;
      case ControlKind::groupBox: DrawGroupBox(control, b); break;
      case ControlKind::label: DrawLabel(control, b); break;
      case ControlKind::edit: DrawEdit(control, b); break;
      case ControlKind::comboBox:
      case ControlKind::dropDownList: DrawComboBox(control, b); break;
      case ControlKind::unknown: break;
    }
  }

  int ItemHeight() const { return (win32font::kHeight + 2) * kScale; }

  // Where the open list of a combo box goes: below the box, moved up as far as
  // needed to stay inside the window.
  int ListTop(const Control& control) const {
    int x, y, w, h;
    Box(control, &x, &y, &w, &h);
    int below = y + std::min(h, PY(12));
    int listH = static_cast<int>(control.items.size()) * ItemHeight() + 2 * kScale;
    return std::max(0, std::min(below, PY(dialog_->cy) - listH));
  }

  void DrawOpenList(const Control& control) {
    int x, y, w, h;
    Box(control, &x, &y, &w, &h);
    int top = ListTop(control);
    int itemH = ItemHeight();
    int listH = static_cast<int>(control.items.size()) * itemH + 2 * kScale;
    Fill(x, top, w, listH, kWhite);
    Frame(x, top, w, listH, kBlack, kBlack);
    for (std::size_t i = 0; i < control.items.size(); ++i) {
      int itemY = top + kScale + static_cast<int>(i) * itemH;
      bool selected = static_cast<int>(i) == control.selection;
      if (selected) Fill(x + kScale, itemY, w - 2 * kScale, itemH, kSelection);
      Text(x + 3 * kScale, itemY + kScale, control.items[i], selected ? kWhite : kBlack);
    }
  }

  void Draw() {
    surface_ = SDL_GetWindowSurface(window_);
    if (surface_ == nullptr) return;
    Fill(0, 0, surface_->w, surface_->h, kFace);
    for (auto& control : dialog_->controls) DrawControl(*control);
    if (openList_ != nullptr) DrawOpenList(*openList_);
    SDL_UpdateWindowSurface(window_);
  }

  // ---- Input ----
  bool Inside(const Control& control, int px, int py) const {
    int x, y, w, h;
    Box(control, &x, &y, &w, &h);
    if (control.kind == ControlKind::comboBox || control.kind == ControlKind::dropDownList) h = std::min(h, PY(12));
    return px >= x && px < x + w && py >= y && py < y + h;
  }

  void MouseDown(int px, int py) {
    if (!dialog_->enabled) return;
    if (openList_ != nullptr) {
      Control* list = openList_;
      openList_ = nullptr;
      int x, y, w, h;
      Box(*list, &x, &y, &w, &h);
      int top = ListTop(*list) + kScale;
      int bottom = top + static_cast<int>(list->items.size()) * ItemHeight();
      if (px >= x && px < x + w && py >= top && py < bottom) {
        int index = (py - top) / ItemHeight();
        if (index < static_cast<int>(list->items.size())) Choose(list, index);
        return;
      }
      if (Inside(*list, px, py)) return;  // a second click on the box closes the list
    }
    for (auto& owned : dialog_->controls) {
      Control* control = owned.get();
      if (!control->enabled || !Inside(*control, px, py)) continue;
      switch (control->kind) {
        case ControlKind::edit:
          focus_ = control;
          return;
        case ControlKind::comboBox:
        case ControlKind::dropDownList:
          focus_ = control;
          openList_ = control;
          return;
        case ControlKind::groupBox:
        case ControlKind::label:
        case ControlKind::unknown:
          continue;
        default:
          Click(control);
          return;
      }
    }
  }

  bool Editable(const Control* control) const {
    return control != nullptr && (control->kind == ControlKind::edit || control->kind == ControlKind::comboBox);
  }

  void NextFocus() {
    std::vector<Control*> order;
    for (auto& control : dialog_->controls) {
      if (Editable(control.get()) && control->enabled) order.push_back(control.get());
    }
    if (order.empty()) return;
    auto at = std::find(order.begin(), order.end(), focus_);
    focus_ = at == order.end() || at + 1 == order.end() ? order.front() : *(at + 1);
  }

  bool Handle(const SDL_Event& event) {
    Uint32 mine = SDL_GetWindowID(window_);
    switch (event.type) {
      case SDL_QUIT:
        return false;
      case SDL_WINDOWEVENT:
        if (event.window.windowID == mine && event.window.event == SDL_WINDOWEVENT_CLOSE) return false;
        return true;
      case SDL_MOUSEBUTTONDOWN:
        if (event.button.windowID == mine && event.button.button == SDL_BUTTON_LEFT) {
          MouseDown(event.button.x, event.button.y);
        }
        return true;
      case SDL_TEXTINPUT:
        if (event.text.windowID == mine && Editable(focus_) && dialog_->enabled) {
          TypeText(focus_, (focus_->text + event.text.text).c_str());
        }
        return true;
      case SDL_KEYDOWN: {
        if (event.key.windowID != mine || !dialog_->enabled) return true;
        SDL_Keycode key = event.key.keysym.sym;
        if (key == SDLK_BACKSPACE && Editable(focus_) && !focus_->text.empty()) {
          std::string shorter = focus_->text.substr(0, focus_->text.size() - 1);
          TypeText(focus_, shorter.c_str());
        } else if (key == SDLK_RETURN || key == SDLK_KP_ENTER) {
          openList_ = nullptr;
          Key(dialog_, kVkReturn);
        } else if (key == SDLK_ESCAPE) {
          if (openList_ != nullptr) {
            openList_ = nullptr;
          } else {
            Key(dialog_, kVkEscape);
          }
        } else if (key == SDLK_TAB) {
          NextFocus();
        }
        return true;
      }
      default:
        return true;
    }
  }

  Dialog* dialog_;
  SDL_Window* window_;
  SDL_Surface* surface_ = nullptr;
  Control* focus_ = nullptr;
  Control* openList_ = nullptr;
};

}  // namespace

std::unique_ptr<WindowView> WindowView::Create(Dialog* dialog) {
  if (!DisplayUsable()) return nullptr;
  SDL_Window* window = SDL_CreateWindow(dialog->caption.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                        PX(dialog->cx), PY(dialog->cy), SDL_WINDOW_SHOWN);
  if (window == nullptr) return nullptr;
  SDL_StartTextInput();
  return std::make_unique<SdlView>(dialog, window);
}

}  // namespace win32dialog
