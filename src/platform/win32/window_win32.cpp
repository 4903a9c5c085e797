// Forms and controls as real windows: every form, label, button, check box, option
// button, text box, scroll bar, list box and picture box is a window whose text is its
// caption, so the window system, screen readers and test drivers find "&Allow" (read
// "Allow", Alt+A) and press it. Shapes, images and the texts drawn into picture boxes are
// painted by the form or picture box they sit on. The keys a form answers itself (Tab,
// Enter, Alt and a letter) are taken from the message pump (HandleFormKey). Text crosses
// to Windows through the wide functions.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/common/test_switches.h"
#include "platform/common/window_peer.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/win32/form_keys.h"
#include "platform/win32/wide_text.h"
#include "platform/window.h"

namespace platform {

struct ControlPeer {
  HWND window = nullptr;
  HFONT font = nullptr;
  HBRUSH back_brush = nullptr;
  HWND tool_tips = nullptr;  // a form's tooltip window
  bool has_tool = false;
  RECT painted{};  // where a shape or image was last painted, in its container
  POINT last_pointer{-1, -1};
  bool moving = false;            // the model moves the window itself
  HWND activated_from = nullptr;  // the window that was active before a form was
};

namespace {

constexpr wchar_t kFormClass[] = L"RunwardenForm";
constexpr wchar_t kPictureClass[] = L"RunwardenPicture";
constexpr wchar_t kSessionClass[] = L"RunwardenSession";

int Pixels(int32_t twips) {
  return TwipsToPixels(twips);
}

// A length drawn in pixels of a 96 dpi screen, on this screen.
int Scaled(int pixels_at_96_dpi) {
  return MulDiv(pixels_at_96_dpi, ScreenDpi(), 96);
}

COLORREF Colour(uint32_t color) {
  return static_cast<COLORREF>(color & 0xFFFFFF);
}

// The program's default title: the executable's name without its extension.
std::string DefaultTitle() {
  std::string path = ModulePath();
  std::string name = path.substr(path.find_last_of('\\') + 1);
  std::string::size_type dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

bool Windowless(const Control& control) {
  return control.kind() == ControlKind::kShape || control.kind() == ControlKind::kImage;
}

bool IsContainer(const Control& control) {
  return control.kind() == ControlKind::kForm || control.kind() == ControlKind::kPictureBox;
}

HWND WindowOf(const Control* control) {
  return control && control->peer() ? control->peer()->window : nullptr;
}

// The control behind a window this runtime created.
Control* ControlOf(HWND window) {
  auto* control = reinterpret_cast<Control*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  return control && WindowOf(control) == window ? control : nullptr;
}

// Gives the keyboard focus to the control the form last had it on, or to the first
// that can take it (as a dialog does when it is activated).
void FocusActiveControl(Form& form) {
  Control* target = form.ActiveControl();
  if (!target || !target->CanTakeFocus()) {
    target = nullptr;
    for (Control* control : form.Controls()) {
      if (control->CanTakeFocus()) {
        target = control;
        break;
      }
    }
  }
  if (!target || !WindowOf(target))
    return;
  form.set_active_control(target);
  ::SetFocus(WindowOf(target));
}

DWORD FormStyle(Form::Border border) {
  return border == Form::Border::kNone
             ? WS_POPUP | WS_CLIPCHILDREN
             : WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
}

// A pop-up (the alert) comes unasked, so it never activates itself: it shows and moves
// without activation. A click on it, Alt+Tab or its taskbar button activate it like any
// window, so that it can be answered from the keyboard (no WS_EX_NOACTIVATE, which would
// keep it from the taskbar, Alt+Tab and accessibility tools; no WS_EX_TOOLWINDOW).
DWORD FormExStyle(Form::Border) {
  return 0;
}

bool IsFormWindow(HWND window) {
  wchar_t name[32] = {};
  return window && GetClassNameW(window, name, 32) && wcscmp(name, kFormClass) == 0;
}

void AskFormsToUnloadAndEnd() {
  // Whatever the forms keep (the options) is saved; Windows ends the process after
  // this message anyway, so nothing is left half-done behind a running wait loop.
  peer::AskOpenFormsToUnload();
  EndProcessNow(0);
}

LRESULT SessionMessages(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_QUERYENDSESSION)
    return TRUE;
  if (message == WM_ENDSESSION) {
    if (wparam)
      AskFormsToUnloadAndEnd();
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK SessionProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return SessionMessages(window, message, wparam, lparam);
}

// ---- painting ----

// Points at the runtime's dpi, the one the forms are laid out for.
HFONT MakeFont(const Font& font) {
  int height = -MulDiv(font.points, ScreenDpi(), 72);
  return CreateFontW(height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, Widen(font.name).c_str());
}

void FillSolid(HDC dc, const RECT& area, uint32_t color) {
  HBRUSH brush = CreateSolidBrush(Colour(color));
  FillRect(dc, &area, brush);
  DeleteObject(brush);
}

void Frame(HDC dc, const RECT& area, uint32_t color) {
  HBRUSH brush = CreateSolidBrush(Colour(color));
  FrameRect(dc, &area, brush);
  DeleteObject(brush);
}

RECT PixelArea(const Control& control) {
  return {Pixels(control.Left()), Pixels(control.Top()), Pixels(control.Left() + control.Width()),
          Pixels(control.Top() + control.Height())};
}

void PaintWindowless(Control& child, HDC dc) {
  RECT area = PixelArea(child);
  if (child.kind() == ControlKind::kImage) {
    FillSolid(dc, area, child.BackColor());
    return;
  }
  if (child.Filled())
    FillSolid(dc, area, child.FillColor());
  Frame(dc, area, child.BorderColor());
}

// Everything a form or picture box paints itself, with its upper left corner at
// (-offset_x, -offset_y) of the surface: its back colour, its Paint event, its shapes and
// images, the texts drawn into it.
void PaintContainer(Control& container, HDC dc, int offset_x, int offset_y) {
  POINT old_origin;
  OffsetViewportOrgEx(dc, -offset_x, -offset_y, &old_origin);
  RECT whole{0, 0, Pixels(container.Width()), Pixels(container.Height())};
  FillSolid(dc, whole, container.BackColor());
  if (container.on_paint) {
    DeviceContext previous = container.Hdc();
    container.set_paint_surface(dc);
    container.on_paint();
    container.set_paint_surface(previous);
  }
  std::vector<Control*> windowless;
  for (Control* child : container.children())
    if (Windowless(*child) && child->Visible())
      windowless.push_back(child);
  std::sort(windowless.begin(), windowless.end(),
            [](Control* a, Control* b) { return a->ZPosition() < b->ZPosition(); });
  for (Control* child : windowless)
    PaintWindowless(*child, dc);

  if (!container.DrawnTexts().empty()) {
    HGDIOBJ old_font = SelectObject(dc, container.peer()->font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Colour(container.ForeColor()));
    for (const DrawnText& drawn : container.DrawnTexts()) {
      std::wstring text = Widen(drawn.text);
      TextOutW(dc, Pixels(drawn.x), Pixels(drawn.y), text.c_str(), static_cast<int>(text.size()));
    }
    SelectObject(dc, old_font);
  }
  if (container.Framed() || (container.kind() == ControlKind::kForm &&
                             static_cast<Form&>(container).border() == Form::Border::kNone))
    Frame(dc, whole, container.BorderColor());
  SetViewportOrgEx(dc, old_origin.x, old_origin.y, nullptr);
}

void PaintWindow(Control& container, HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  // Drawn off screen first, so the ticker and the height animation do not flicker.
  HDC buffer = CreateCompatibleDC(dc);
  HBITMAP bitmap =
      CreateCompatibleBitmap(dc, std::max<LONG>(client.right, 1), std::max<LONG>(client.bottom, 1));
  HGDIOBJ old_bitmap = SelectObject(buffer, bitmap);
  PaintContainer(container, buffer, 0, 0);
  BitBlt(dc, 0, 0, client.right, client.bottom, buffer, 0, 0, SRCCOPY);
  SelectObject(buffer, old_bitmap);
  DeleteObject(bitmap);
  DeleteDC(buffer);
  EndPaint(window, &paint);
}

// A shield of four quarters, blue and yellow, as the UAC shield looks, where the system
// has no stock one to give (Windows XP, Wine).
void DrawShieldShape(HDC dc, int left, int top, int size) {
  int w = size - 2, h = size;
  POINT outline[] = {{left + 1, top + 2},         {left + 1 + w / 2, top},
                     {left + 1 + w, top + 2},     {left + 1 + w, top + h / 2},
                     {left + 1 + w / 2, top + h}, {left + 1, top + h / 2}};
  HRGN shape = CreatePolygonRgn(outline, 6, WINDING);
  SelectClipRgn(dc, shape);
  int mid_x = left + 1 + w / 2, mid_y = top + h / 2;
  auto fill = [&](int x1, int y1, int x2, int y2, COLORREF colour) {
    RECT part{x1, y1, x2, y2};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &part, brush);
    DeleteObject(brush);
  };
  fill(left, top, mid_x, mid_y, RGB(40, 90, 200));
  fill(mid_x, top, left + size, mid_y, RGB(250, 200, 40));
  fill(left, mid_y, mid_x, top + h + 1, RGB(250, 200, 40));
  fill(mid_x, mid_y, left + size, top + h + 1, RGB(40, 90, 200));
  SelectClipRgn(dc, nullptr);
  HBRUSH frame = CreateSolidBrush(RGB(60, 60, 60));
  FrameRgn(dc, shape, frame, 1, 1);
  DeleteObject(frame);
  DeleteObject(shape);
}

// The stock UAC shield at the left of the caption's area, which then keeps the rest.
void DrawShield(HDC dc, RECT* text) {
  static HICON shield = [] {
    // Looked up, not imported: Windows XP has no stock icons and would not load us.
    using GetStockIcon = HRESULT(WINAPI*)(SHSTOCKICONID, UINT, SHSTOCKICONINFO*);
    auto get = reinterpret_cast<GetStockIcon>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"shell32.dll"), "SHGetStockIconInfo")));
    SHSTOCKICONINFO info{};
    info.cbSize = sizeof info;
    if (get && SUCCEEDED(get(SIID_SHIELD, SHGSI_ICON | SHGSI_SMALLICON, &info)))
      return info.hIcon;
    return HICON{};
  }();
  int size = Scaled(16);  // a small icon
  int left = text->left + Scaled(5);
  int top = text->top + (text->bottom - text->top - size) / 2;
  if (!shield || !DrawIconEx(dc, left, top, shield, size, size, 0, nullptr, DI_NORMAL))
    DrawShieldShape(dc, left, top, size);
  text->left = left + size;
}

// The skinned button: a soft vertical shade, a dark frame and a shadowed caption.
void PaintButton(Control& button, const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT area = item.rcItem;
  bool pressed = item.itemState & ODS_SELECTED;
  bool disabled = item.itemState & ODS_DISABLED;
  uint32_t top = disabled ? 0xF4F4F4 : pressed ? 0xE8C8A8 : 0xFFFBF7;
  uint32_t bottom = disabled ? 0xDCDCDC : pressed ? 0xFFF0E0 : 0xEED2B4;
  auto vertex = [](LONG x, LONG y, uint32_t color) {
    return GradientVertex{x,
                          y,
                          static_cast<int16_t>((color & 0xFF) << 8),
                          static_cast<int16_t>(((color >> 8) & 0xFF) << 8),
                          static_cast<int16_t>(((color >> 16) & 0xFF) << 8),
                          0};
  };
  peer::GradientFill(dc, vertex(area.left, area.top, top), vertex(area.right, area.bottom, bottom),
                     kGradientFillRectV);
  Frame(dc, area, disabled ? 0xA0A0A0 : 0x7A4A1E);

  std::wstring caption = Widen(button.Caption());
  HGDIOBJ old_font = SelectObject(dc, button.peer()->font);
  SetBkMode(dc, TRANSPARENT);
  RECT text = area;
  int offset = Scaled(1);
  if (pressed)
    OffsetRect(&text, offset, offset);
  if (button.Shield())
    DrawShield(dc, &text);
  // The window text marks the access key with "&": drawn underlined, always.
  UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  if (!disabled) {
    RECT shadow = text;
    OffsetRect(&shadow, offset, offset);
    SetTextColor(dc, RGB(255, 255, 255));
    DrawTextW(dc, caption.c_str(), -1, &shadow, format);
  }
  SetTextColor(dc, disabled ? RGB(150, 150, 150) : Colour(button.ForeColor()));
  DrawTextW(dc, caption.c_str(), -1, &text, format);
  SelectObject(dc, old_font);
  if (item.itemState & ODS_FOCUS) {
    RECT focus = area;
    InflateRect(&focus, -Scaled(3), -Scaled(3));
    DrawFocusRect(dc, &focus);
  }
}

HBRUSH BackBrush(Control& control) {
  ControlPeer& peer = *control.peer();
  if (!peer.back_brush)
    peer.back_brush = CreateSolidBrush(Colour(control.BackColor()));
  return peer.back_brush;
}

// A label or check box over a form or page: what lies behind it is painted into its
// own surface first, so the shade shows through around the text.
LRESULT ColourChild(Control& container, Control& child, HDC dc) {
  SetTextColor(dc, Colour(child.ForeColor()));
  if (!child.Transparent()) {
    SetBkColor(dc, Colour(child.BackColor()));
    return reinterpret_cast<LRESULT>(BackBrush(child));
  }
  PaintContainer(container, dc, Pixels(child.Left()), Pixels(child.Top()));
  SetBkMode(dc, TRANSPARENT);
  return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
}

int32_t ScrollTarget(Control& bar, WPARAM wparam) {
  switch (LOWORD(wparam)) {
    case SB_LINELEFT:
      return bar.Value() - bar.SmallChange();
    case SB_LINERIGHT:
      return bar.Value() + bar.SmallChange();
    case SB_PAGELEFT:
      return bar.Value() - bar.LargeChange();
    case SB_PAGERIGHT:
      return bar.Value() + bar.LargeChange();
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
      return static_cast<int16_t>(HIWORD(wparam));
    case SB_LEFT:
      return bar.Min();
    case SB_RIGHT:
      return bar.Max();
    default:
      return bar.Value();
  }
}

void Command(Control& child, WORD code) {
  switch (child.kind()) {
    case ControlKind::kButton:
    case ControlKind::kCheckBox:
    case ControlKind::kOptionButton:
      if (code == BN_CLICKED)
        child.Click();
      break;
    case ControlKind::kLabel:
      if (code == STN_CLICKED)
        child.Click();
      break;
    case ControlKind::kListBox:
      if (code == LBN_SELCHANGE)
        child.SetListIndex(
            static_cast<int32_t>(SendMessageW(WindowOf(&child), LB_GETCURSEL, 0, 0)));
      break;
    case ControlKind::kTextBox:
      if (code == EN_CHANGE) {
        HWND window = WindowOf(&child);
        std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
        child.TextChangedByUser(NarrowBuffer(text.c_str()));
      }
      break;
    default:
      break;
  }
}

LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, message, wparam, lparam);
  }
  auto* self = reinterpret_cast<Control*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self || !self->peer())
    return DefWindowProcW(window, message, wparam, lparam);

  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      PaintWindow(*self, window);
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      Control* child = ControlOf(reinterpret_cast<HWND>(lparam));
      if (child && child->kind() != ControlKind::kButton &&
          child->kind() != ControlKind::kHScrollBar)
        return ColourChild(*self, *child, reinterpret_cast<HDC>(wparam));
      break;
    }
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLOREDIT: {
      Control* child = ControlOf(reinterpret_cast<HWND>(lparam));
      if (!child)
        break;
      SetTextColor(reinterpret_cast<HDC>(wparam), Colour(child->ForeColor()));
      SetBkColor(reinterpret_cast<HDC>(wparam), Colour(child->BackColor()));
      return reinterpret_cast<LRESULT>(BackBrush(*child));
    }
    case WM_COMMAND:
      if (Control* child = ControlOf(reinterpret_cast<HWND>(lparam)))
        Command(*child, HIWORD(wparam));
      return 0;
    case WM_HSCROLL:
      if (Control* bar = ControlOf(reinterpret_cast<HWND>(lparam))) {
        if (LOWORD(wparam) != SB_ENDSCROLL)
          bar->ValueChangedByUser(ScrollTarget(*bar, wparam));
      }
      return 0;
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lparam);
      if (Control* button = ControlOf(item->hwndItem)) {
        PaintButton(*button, *item);
        return TRUE;
      }
      break;
    }
    case WM_MOUSEMOVE: {
      // Windows also reports a move when a window slides under a pointer at rest.
      POINT pointer;
      GetCursorPos(&pointer);
      ControlPeer& peer = *self->peer();
      if (pointer.x == peer.last_pointer.x && pointer.y == peer.last_pointer.y)
        return 0;
      peer.last_pointer = pointer;
      self->MouseMove(PixelsToTwips(static_cast<int16_t>(LOWORD(lparam))),
                      PixelsToTwips(static_cast<int16_t>(HIWORD(lparam))));
      return 0;
    }
    case WM_ACTIVATE:
      if (self->kind() == ControlKind::kForm && LOWORD(wparam) != WA_INACTIVE) {
        self->peer()->activated_from = reinterpret_cast<HWND>(lparam);
        static_cast<Form*>(self)->Activate();
      }
      break;  // DefWindowProc gives the form the focus, which WM_SETFOCUS passes on
    case WM_SETFOCUS:
      if (self->kind() == ControlKind::kForm) {
        FocusActiveControl(*static_cast<Form*>(self));
        return 0;
      }
      break;
    case WM_ENABLE:
      // Disabling took the focus away (the height animation, a lookup); it comes back.
      if (self->kind() == ControlKind::kForm && wparam && GetActiveWindow() == window &&
          (!GetFocus() || GetFocus() == window))
        FocusActiveControl(*static_cast<Form*>(self));
      break;
    case WM_CLOSE:
      if (self->kind() == ControlKind::kForm)
        static_cast<Form*>(self)->Close();
      return 0;
    case WM_QUERYENDSESSION:
    case WM_ENDSESSION:
      return SessionMessages(window, message, wparam, lparam);
    case WM_WINDOWPOSCHANGED: {
      // A form with a caption can be moved by the user; the model follows it.
      if (self->kind() != ControlKind::kForm || self->peer()->moving ||
          static_cast<Form*>(self)->border() == Form::Border::kNone)
        break;
      auto* position = reinterpret_cast<WINDOWPOS*>(lparam);
      if (!(position->flags & SWP_NOMOVE) || !(position->flags & SWP_NOSIZE)) {
        RECT outer;
        GetWindowRect(window, &outer);
        self->set_geometry(PixelsToTwips(outer.left), PixelsToTwips(outer.top),
                           PixelsToTwips(outer.right - outer.left),
                           PixelsToTwips(outer.bottom - outer.top));
      }
      break;
    }
    case WM_NCDESTROY:
      self->peer()->window = nullptr;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void RegisterClasses() {
  static bool registered = false;
  if (registered)
    return;
  registered = true;
  INITCOMMONCONTROLSEX common{sizeof common, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&common);
  WNDCLASSEXW form{};
  form.cbSize = sizeof form;
  form.style = CS_HREDRAW | CS_VREDRAW;
  form.lpfnWndProc = ContainerProc;
  form.hInstance = GetModuleHandleW(nullptr);
  form.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  form.hIcon = LoadIconW(form.hInstance, MAKEINTRESOURCEW(1));
  form.lpszClassName = kFormClass;
  RegisterClassExW(&form);
  WNDCLASSEXW picture = form;
  picture.hIcon = nullptr;
  picture.lpszClassName = kPictureClass;
  RegisterClassExW(&picture);
  WNDCLASSEXW session = picture;
  session.style = 0;
  session.lpfnWndProc = SessionProc;
  session.lpszClassName = kSessionClass;
  RegisterClassExW(&session);
}

struct ChildClass {
  const wchar_t* name;
  DWORD style;
  DWORD ex_style;
};

ChildClass ChildClassOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::kLabel:
      return {L"STATIC", SS_LEFT | SS_NOPREFIX | SS_NOTIFY, 0};
    case ControlKind::kButton:
      return {L"BUTTON", BS_OWNERDRAW | WS_TABSTOP, 0};
    case ControlKind::kCheckBox:
      return {L"BUTTON", BS_3STATE | WS_TABSTOP, 0};
    case ControlKind::kOptionButton:
      return {L"BUTTON", BS_RADIOBUTTON | WS_TABSTOP, 0};
    case ControlKind::kTextBox:
      return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::kHScrollBar:
      return {L"SCROLLBAR", SBS_HORZ | WS_TABSTOP, 0};
    case ControlKind::kListBox:
      return {L"LISTBOX",
              LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_USETABSTOPS | WS_VSCROLL | WS_TABSTOP,
              WS_EX_CLIENTEDGE};
    case ControlKind::kPictureBox:
      return {kPictureClass, WS_CLIPCHILDREN, 0};
    default:
      return {nullptr, 0, 0};
  }
}

// An active form that leaves the screen (slides off it, hides, goes) gives the keyboard
// back to the window it took it from, rather than keep it where nobody sees it. Wine
// without a window manager would leave it to the desktop.
void GiveBackActivation(Control& form) {
  ControlPeer& peer = *form.peer();
  if (form.kind() == ControlKind::kForm && peer.window && GetActiveWindow() == peer.window &&
      peer.activated_from != peer.window && IsWindowVisible(peer.activated_from))
    SetForegroundWindow(peer.activated_from);
}

bool OnScreen(const Control& control) {
  RECT area = PixelArea(control),
       screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  RECT common;
  return IntersectRect(&common, &area, &screen) != 0;
}

void MoveWindowTo(Control& control) {
  ControlPeer& peer = *control.peer();
  if (!peer.window)
    return;
  if (control.kind() == ControlKind::kForm && !OnScreen(control))
    GiveBackActivation(control);
  peer.moving = true;
  SetWindowPos(peer.window, nullptr, Pixels(control.Left()), Pixels(control.Top()),
               Pixels(control.Width()), Pixels(control.Height()), SWP_NOZORDER | SWP_NOACTIVATE);
  peer.moving = false;
}

void InvalidateWindowless(Control& control) {
  HWND container = WindowOf(control.container());
  ControlPeer& peer = *control.peer();
  if (container) {
    RedrawWindow(container, &peer.painted, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
    peer.painted = PixelArea(control);
    RedrawWindow(container, &peer.painted, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
  }
}

HWND ToolTipsOf(Form& form) {
  ControlPeer& peer = *form.peer();
  if (!peer.tool_tips && peer.window) {
    // Owned by no window: Wine refuses to make an owner of a topmost window topmost.
    peer.tool_tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                     WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
    SendMessageW(peer.tool_tips, TTM_SETMAXTIPWIDTH, 0, Scaled(480));
  }
  return peer.tool_tips;
}

void UpdateToolTip(Control& control, const std::string& tip) {
  ControlPeer& peer = *control.peer();
  HWND tips = ToolTipsOf(control.form());
  if (!peer.window || !tips)
    return;
  std::wstring text = Widen(tip);
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = WindowOf(control.container());
  tool.uId = reinterpret_cast<UINT_PTR>(peer.window);
  tool.lpszText = text.data();
  if (text.empty()) {
    if (peer.has_tool)
      SendMessageW(tips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    peer.has_tool = false;
  } else if (peer.has_tool) {
    SendMessageW(tips, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  } else {
    peer.has_tool = SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) != 0;
  }
}

void ApplyValue(Control& control) {
  HWND window = WindowOf(&control);
  if (!window)
    return;
  switch (control.kind()) {
    case ControlKind::kCheckBox:
    case ControlKind::kOptionButton:
      SendMessageW(window, BM_SETCHECK,
                   control.Value() == kGrayed ? BST_INDETERMINATE
                   : control.Value()          ? BST_CHECKED
                                              : BST_UNCHECKED,
                   0);
      break;
    case ControlKind::kHScrollBar:
      SetScrollPos(window, SB_CTL, control.Value(), TRUE);
      break;
    default:
      break;
  }
}

void ApplyItems(Control& control) {
  HWND window = WindowOf(&control);
  if (!window)
    return;
  SendMessageW(window, WM_SETREDRAW, FALSE, 0);
  SendMessageW(window, LB_RESETCONTENT, 0, 0);
  for (const std::string& item : control.Items())
    SendMessageW(window, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
  SendMessageW(window, LB_SETCURSEL, control.ListIndex(), 0);
  SendMessageW(window, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(window, nullptr, TRUE);
}

// A list box takes its tab stops in quarters of its font's average character width,
// measured the way dialog units are: over the 52 letters.
void ApplyTabStops(Control& control) {
  ControlPeer& peer = *control.peer();
  if (!peer.window || control.kind() != ControlKind::kListBox)
    return;
  HDC dc = GetDC(peer.window);
  HGDIOBJ old_font = SelectObject(dc, peer.font);
  SIZE letters{};
  const wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  GetTextExtentPoint32W(dc, kLetters, 52, &letters);
  SelectObject(dc, old_font);
  ReleaseDC(peer.window, dc);
  int average = std::max<int>(1, (letters.cx / 26 + 1) / 2);
  std::vector<INT> units;
  for (int32_t twips : control.TabStops())
    units.push_back(MulDiv(Pixels(twips), 4, average));
  SendMessageW(peer.window, LB_SETTABSTOPS, units.size(),
               reinterpret_cast<LPARAM>(units.empty() ? nullptr : units.data()));
  InvalidateRect(peer.window, nullptr, TRUE);
}

void ApplyFont(Control& control) {
  ControlPeer& peer = *control.peer();
  HFONT old = peer.font;
  peer.font = MakeFont(control.GetFont());
  if (peer.window)
    SendMessageW(peer.window, WM_SETFONT, reinterpret_cast<WPARAM>(peer.font), TRUE);
  if (old)
    DeleteObject(old);
  if (!control.TabStops().empty())
    ApplyTabStops(control);
}

void CreateFormWindow(Form& form) {
  ControlPeer& peer = *form.peer();
  peer.window = CreateWindowExW(
      FormExStyle(form.border()), kFormClass, Widen(form.Caption()).c_str(),
      FormStyle(form.border()), Pixels(form.Left()), Pixels(form.Top()), Pixels(form.Width()),
      Pixels(form.Height()), nullptr, nullptr, GetModuleHandleW(nullptr), &form);
  ApplyFont(form);
}

void CreateChildWindow(Control& control) {
  ControlPeer& peer = *control.peer();
  ChildClass child = ChildClassOf(control.kind());
  HWND parent = WindowOf(control.container());
  if (!child.name || !parent)
    return;
  static int next_id = 100;
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | child.style;
  if (control.Visible())
    style |= WS_VISIBLE;
  if (!control.Enabled())
    style |= WS_DISABLED;
  peer.window = CreateWindowExW(child.ex_style, child.name, Widen(control.Caption()).c_str(), style,
                                Pixels(control.Left()), Pixels(control.Top()),
                                Pixels(control.Width()), Pixels(control.Height()), parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(next_id++)),
                                GetModuleHandleW(nullptr), &control);
  if (!peer.window)
    return;
  SetWindowLongPtrW(peer.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&control));
  ApplyFont(control);
  if (!control.ToolTipText().empty())
    UpdateToolTip(control, control.ToolTipText());
  if (control.kind() == ControlKind::kHScrollBar)
    SetScrollRange(peer.window, SB_CTL, control.Min(), control.Max(), FALSE);
  ApplyValue(control);
}

// Windows a destroyed container took with it.
void ForgetWindows(Control& control) {
  for (Control* child : control.children()) {
    if (child->peer())
      child->peer()->window = nullptr;
    ForgetWindows(*child);
  }
}

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& title, uint32_t style) {
  std::string caption = title.empty() ? DefaultTitle() : title;
  if (const MessageBoxResponder& responder = test_switches::MessageBoxes())
    return responder(text, caption, style);
  return MessageBoxW(nullptr, Widen(text).c_str(), Widen(caption).c_str(),
                     style | MB_SETFOREGROUND);
}

bool HandleFormKey(const MSG& message) {
  if (message.message != WM_KEYDOWN && message.message != WM_SYSCHAR)
    return false;
  HWND root = GetAncestor(message.hwnd, GA_ROOT);
  if (!IsFormWindow(root) || !ControlOf(root))
    return false;
  Form& form = static_cast<Form&>(*ControlOf(root));
  // A click moved the focus in the window system: the form follows it.
  if (Control* focused = IsChild(root, GetFocus()) ? ControlOf(GetFocus()) : nullptr)
    form.set_active_control(focused);
  if (message.message == WM_SYSCHAR)
    return message.wParam < 0x80 && form.PressAccessKey(static_cast<char>(message.wParam));
  if (GetKeyState(VK_MENU) < 0 || GetKeyState(VK_CONTROL) < 0)
    return false;
  switch (message.wParam) {
    case VK_TAB:
      form.PressKey(GetKeyState(VK_SHIFT) < 0 ? Key::kShiftTab : Key::kTab);
      return true;
    case VK_RETURN:
      return form.PressKey(Key::kEnter);
    default:
      // Space is the focused button's own: it shows itself pressed until the key is up.
      return false;
  }
}

bool SetLayeredAlpha(WindowHandle window, uint8_t alpha) {
  HWND hwnd = static_cast<HWND>(window);
  if (!IsWindow(hwnd))
    return false;
  LONG style = GetWindowLongW(hwnd, GWL_EXSTYLE);
  SetWindowLongW(hwnd, GWL_EXSTYLE, style | WS_EX_LAYERED);
  return SetLayeredWindowAttributes(hwnd, 0, alpha, LWA_ALPHA) != 0;
}

bool GetLayeredAlpha(WindowHandle window, uint8_t* alpha) {
  HWND hwnd = static_cast<HWND>(window);
  if (!IsWindow(hwnd) || !(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED))
    return false;
  COLORREF key = 0;
  BYTE value = 0;
  DWORD flags = 0;
  if (!GetLayeredWindowAttributes(hwnd, &key, &value, &flags) || !(flags & LWA_ALPHA))
    return false;
  *alpha = value;
  return true;
}

int32_t TextWidth(const Font& font, const std::string& text) {
  HFONT made = MakeFont(font);
  HDC screen = GetDC(nullptr);
  HGDIOBJ old_font = SelectObject(screen, made);
  std::wstring wide = Widen(text);
  SIZE size{};
  GetTextExtentPoint32W(screen, wide.c_str(), static_cast<int>(wide.size()), &size);
  SelectObject(screen, old_font);
  ReleaseDC(nullptr, screen);
  DeleteObject(made);
  return PixelsToTwips(size.cx);
}

void ListenForSessionEnd() {
  static HWND listener = nullptr;
  if (listener)
    return;
  RegisterClasses();
  // A hidden top-level window: message-only windows are not told that the session ends.
  listener = CreateWindowExW(WS_EX_TOOLWINDOW, kSessionClass, L"Runwarden", WS_POPUP, 0, 0, 0, 0,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

namespace peer {

void Create(Control& control) {
  RegisterClasses();
  control.set_peer(new ControlPeer);
  if (control.kind() == ControlKind::kForm) {
    CreateFormWindow(static_cast<Form&>(control));
  } else if (Windowless(control)) {
    InvalidateWindowless(control);
  } else {
    CreateChildWindow(control);
  }
}

void Destroy(Control& control) {
  ControlPeer* peer = control.peer();
  if (!peer)
    return;
  if (peer->window) {
    if (peer->has_tool)
      UpdateToolTip(control, "");
    HWND window = peer->window;
    GiveBackActivation(control);
    DestroyWindow(window);
    peer->window = nullptr;
    ForgetWindows(control);
  } else if (Windowless(control) && control.form().Open()) {
    HWND container = WindowOf(control.container());
    if (container)
      RedrawWindow(container, &peer->painted, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
  }
  if (peer->tool_tips)
    DestroyWindow(peer->tool_tips);
  if (peer->font)
    DeleteObject(peer->font);
  if (peer->back_brush)
    DeleteObject(peer->back_brush);
  control.set_peer(nullptr);
  delete peer;
  if (control.kind() == ControlKind::kForm)
    static_cast<Form&>(control).set_open(false);
}

void Update(Control& control, Change change) {
  ControlPeer* peer = control.peer();
  if (!peer)
    return;
  if (Windowless(control)) {
    InvalidateWindowless(control);
    return;
  }
  HWND window = peer->window;
  if (!window)
    return;
  switch (change) {
    case Change::kGeometry:
      MoveWindowTo(control);
      break;
    case Change::kCaption:
      SetWindowTextW(window, Widen(control.Caption()).c_str());
      if (control.Transparent())
        InvalidateRect(window, nullptr, TRUE);
      break;
    case Change::kToolTip:
      UpdateToolTip(control, control.ToolTipText());
      break;
    case Change::kVisible:
      if (control.kind() == ControlKind::kForm && control.Visible()) {
        bool pop_up = static_cast<Form&>(control).border() == Form::Border::kNone;
        ShowWindow(window, pop_up ? SW_SHOWNOACTIVATE : SW_SHOW);
        UpdateWindow(window);
      } else {
        if (!control.Visible())
          GiveBackActivation(control);
        ShowWindow(window, control.Visible() ? SW_SHOWNA : SW_HIDE);
      }
      break;
    case Change::kEnabled:
      EnableWindow(window, control.Enabled());
      break;
    case Change::kColors:
      if (peer->back_brush)
        DeleteObject(peer->back_brush);
      peer->back_brush = nullptr;
      RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
      break;
    case Change::kFont:
      ApplyFont(control);
      break;
    case Change::kValue:
      ApplyValue(control);
      break;
    case Change::kRange:
      SetScrollRange(window, SB_CTL, control.Min(), control.Max(), FALSE);
      ApplyValue(control);
      break;
    case Change::kItems:
      ApplyItems(control);
      break;
    case Change::kListIndex:
      SendMessageW(window, LB_SETCURSEL, control.ListIndex(), 0);
      break;
    case Change::kTabStops:
      ApplyTabStops(control);
      break;
    case Change::kDrawing:
      RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
      break;
    case Change::kZOrder:
      SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      break;
    case Change::kFocus:
      // Only within an active form: taking the focus would activate an inactive one.
      if (GetActiveWindow() == WindowOf(&control.form()))
        ::SetFocus(window);
      break;
    case Change::kTopMost:
      peer->moving = true;
      SetWindowPos(window, HWND_TOPMOST, Pixels(control.Left()), Pixels(control.Top()),
                   Pixels(control.Width()), Pixels(control.Height()), SWP_NOACTIVATE);
      peer->moving = false;
      break;
  }
}

WindowHandle Handle(const Control& control) {
  return WindowOf(&control);
}

PixelRect Placed(const Control& control) {
  HWND window = WindowOf(&control);
  RECT area{};
  if (!window || !GetWindowRect(window, &area))
    return {};
  if (HWND parent = GetParent(window); parent && control.kind() != ControlKind::kForm)
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&area), 2);
  return {area.left, area.top, area.right - area.left, area.bottom - area.top};
}

void Repaint(Control& control) {
  HWND window = WindowOf(&control);
  if (window && IsContainer(control) && IsWindowVisible(window)) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return;
  }
  // Not on screen: the Paint event still runs, on a surface of its own.
  if (!control.on_paint)
    return;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, std::max(1, Pixels(control.Width())),
                                          std::max(1, Pixels(control.Height())));
  HGDIOBJ old = SelectObject(dc, bitmap);
  control.set_paint_surface(dc);
  control.on_paint();
  control.set_paint_surface(nullptr);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
}

void OuterSize(Form::Border border, int32_t* width, int32_t* height) {
  RECT area{0, 0, *width, *height};
  AdjustWindowRectEx(&area, FormStyle(border), FALSE, FormExStyle(border));
  *width = area.right - area.left;
  *height = area.bottom - area.top;
}

// GetDpiForSystem (Windows 10 1607 on) is looked up, not imported, so the program still
// starts on Vista to 8.1; there the screen's LOGPIXELSX says the same to a dpi-aware
// program.
int32_t SystemDpi() {
  using GetDpi = UINT(WINAPI*)();
  static auto get_dpi_for_system = reinterpret_cast<GetDpi>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForSystem")));
  if (get_dpi_for_system)
    return static_cast<int32_t>(get_dpi_for_system());
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi;
}

int32_t ScreenWidthPixels() {
  return GetSystemMetrics(SM_CXSCREEN);
}
int32_t ScreenHeightPixels() {
  return GetSystemMetrics(SM_CYSCREEN);
}

bool GradientFill(DeviceContext surface,
                  const GradientVertex& upper_left,
                  const GradientVertex& lower_right,
                  uint32_t mode) {
  if (!surface)
    return false;
  auto vertex = [](const GradientVertex& from) {
    TRIVERTEX to;
    to.x = from.x;
    to.y = from.y;
    to.Red = static_cast<COLOR16>(from.red);
    to.Green = static_cast<COLOR16>(from.green);
    to.Blue = static_cast<COLOR16>(from.blue);
    to.Alpha = static_cast<COLOR16>(from.alpha);
    return to;
  };
  TRIVERTEX vertices[2] = {vertex(upper_left), vertex(lower_right)};
  GRADIENT_RECT rect{0, 1};
  return ::GradientFill(static_cast<HDC>(surface), vertices, 2, &rect, 1, mode) != 0;
}

void WaitForMessage(uint32_t timeout_milliseconds) {
  MsgWaitForMultipleObjectsEx(0, nullptr,
                              timeout_milliseconds == UINT32_MAX ? INFINITE : timeout_milliseconds,
                              QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

}  // namespace peer
}  // namespace platform
