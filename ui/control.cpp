#include "ui/control.h"

#include <cwchar>

#include "ui/paint_manager.h"
#include "ui/render.h"

namespace qui {

Control::Control() = default;

Control::~Control() {
  if (manager_) manager_->ReapControl(this);
}

void* Control::GetInterface(const std::wstring& name) {
  return name == L"Control" ? this : nullptr;
}

void Control::SetText(const std::wstring& text) {
  if (text_ == text) return;
  text_ = text;
  Invalidate();
}

void Control::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  if (!visible && manager_) {
    // A hidden control keeps neither focus nor mouse state.
    if (manager_->GetFocus() == this) manager_->SetFocus(nullptr);
    state_ &= ~(kStateHot | kStatePushed | kStateCaptured);
  }
  NeedParentUpdate();
}

bool Control::IsReallyVisible() const {
  for (const Control* c = this; c != nullptr; c = c->parent_) {
    if (!c->visible_) return false;
  }
  return true;
}

void Control::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  if (enabled) {
    state_ &= ~kStateDisabled;
  } else {
    state_ = kStateDisabled;
  }
  Invalidate();
}

bool Control::IsFocused() const { return manager_ && manager_->GetFocus() == this; }

void Control::SetFocus() {
  if (manager_) manager_->SetFocus(this);
}

void Control::SetBkImage(const std::wstring& image) {
  if (bkImage_ == image) return;
  bkImage_ = image;
  Invalidate();
}

void Control::SetForeImage(const std::wstring& image) {
  if (foreImage_ == image) return;
  foreImage_ = image;
  Invalidate();
}

void Control::SetBkColor(Color color) {
  bkColor_ = color;
  Invalidate();
}
void Control::SetBorderColor(Color color) {
  borderColor_ = color;
  Invalidate();
}
void Control::SetBorderSize(int size) {
  borderSize_ = size;
  Invalidate();
}
void Control::SetBorderRound(Size round) {
  borderRound_ = round;
  Invalidate();
}

void Control::SetFixedWidth(int width) {
  if (width < 0) return;
  fixed_.cx = width;
  NeedParentUpdate();
}

void Control::SetFixedHeight(int height) {
  if (height < 0) return;
  fixed_.cy = height;
  NeedParentUpdate();
}

void Control::SetPadding(const Rect& padding) {
  padding_ = padding;
  NeedParentUpdate();
}

void Control::SetPos(const Rect& pos) {
  if (pos_ == pos) return;
  if (manager_) manager_->Invalidate(pos_);
  pos_ = pos;
  Invalidate();
}

Size Control::EstimateSize(Size available) {
  (void)available;
  return fixed_;
}

void Control::Invalidate() {
  if (manager_ && visible_) manager_->Invalidate(pos_);
}

void Control::NeedUpdate() {
  if (manager_) manager_->NeedUpdate();
}

void Control::NeedParentUpdate() {
  if (manager_) manager_->NeedUpdate();
}

bool Control::SetTimer(UINT id, UINT elapseMs) {
  return manager_ && manager_->SetTimer(this, id, elapseMs);
}

void Control::KillTimer(UINT id) {
  if (manager_) manager_->KillTimer(this, id);
}

void Control::SetAttribute(const std::wstring& rawName, const std::wstring& value) {
  std::wstring name = ToLower(rawName);
  if (name == L"name") {
    SetName(value);
  } else if (name == L"text") {
    SetText(value);
  } else if (name == L"width") {
    SetFixedWidth(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
  } else if (name == L"height") {
    SetFixedHeight(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
  } else if (name == L"size") {
    Size s = ParseSize(value);
    SetFixedWidth(s.cx);
    SetFixedHeight(s.cy);
  } else if (name == L"padding") {
    SetPadding(ParseRect(value));
  } else if (name == L"visible") {
    SetVisible(ParseBool(value));
  } else if (name == L"enabled") {
    SetEnabled(ParseBool(value));
  } else if (name == L"userdata") {
    SetUserData(value);
  } else if (name == L"bkcolor") {
    SetBkColor(ParseColor(value));
  } else if (name == L"bkimage") {
    SetBkImage(value);
  } else if (name == L"foreimage") {
    SetForeImage(value);
  } else if (name == L"bordercolor") {
    SetBorderColor(ParseColor(value));
  } else if (name == L"bordersize") {
    SetBorderSize(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
  } else if (name == L"borderround") {
    SetBorderRound(ParseSize(value));
  }
}

void Control::ApplyAttributeList(const std::wstring& list) {
  size_t pos = 0;
  while (pos < list.size()) {
    size_t eq = list.find(L'=', pos);
    if (eq == std::wstring::npos) return;
    std::wstring name = list.substr(pos, eq - pos);
    name.erase(0, name.find_first_not_of(L" \t"));
    size_t open = list.find(L'"', eq);
    if (open == std::wstring::npos) return;
    size_t close = list.find(L'"', open + 1);
    if (close == std::wstring::npos) return;
    SetAttribute(name, list.substr(open + 1, close - open - 1));
    pos = close + 1;
  }
}

void Control::DoEvent(EventArgs& event) {
  switch (event.type) {
    case EventType::kMouseEnter:
      state_ |= kStateHot;
      Invalidate();
      break;
    case EventType::kMouseLeave:
      state_ &= ~kStateHot;
      Invalidate();
      break;
    case EventType::kSetFocus:
      state_ |= kStateFocused;
      Invalidate();
      break;
    case EventType::kKillFocus:
      state_ &= ~kStateFocused;
      Invalidate();
      break;
    case EventType::kTimer:
      if (manager_) manager_->SendNotify(this, L"timer", event.wParam, event.lParam);
      break;
    default:
      break;
  }
}

void Control::DoPaint(cairo_t* cr, const Rect& dirty) {
  if (pos_.Intersect(dirty).IsEmpty()) return;
  cairo_save(cr);
  bool rounded = borderRound_.cx > 0 && borderRound_.cy > 0;
  if (rounded) {
    RoundedRectPath(cr, pos_.left, pos_.top, pos_.Width(), pos_.Height(), borderRound_.cx,
                    borderRound_.cy);
    cairo_clip(cr);
  }
  PaintBkColor(cr);
  PaintBkImage(cr);
  PaintStatusImage(cr);
  PaintText(cr);
  PaintBorder(cr);
  cairo_restore(cr);
}

void Control::PaintBkColor(cairo_t* cr) {
  if (bkColor_ == 0) return;
  SetSourceColor(cr, bkColor_);
  cairo_rectangle(cr, pos_.left, pos_.top, pos_.Width(), pos_.Height());
  cairo_fill(cr);
}

void Control::PaintBkImage(cairo_t* cr) {
  if (!bkImage_.empty()) DrawImage(cr, bkImage_);
}

void Control::PaintBorder(cairo_t* cr) {
  if (borderSize_ <= 0 || borderColor_ == 0) return;
  SetSourceColor(cr, borderColor_);
  cairo_set_line_width(cr, borderSize_);
  double inset = borderSize_ / 2.0;
  RoundedRectPath(cr, pos_.left + inset, pos_.top + inset, pos_.Width() - borderSize_,
                  pos_.Height() - borderSize_, borderRound_.cx, borderRound_.cy);
  cairo_stroke(cr);
}

bool Control::DrawImage(cairo_t* cr, const std::wstring& descriptor) {
  if (!manager_ || descriptor.empty()) return false;
  ImageDescriptor d = ParseImageDescriptor(descriptor);
  cairo_surface_t* image = manager_->GetImage(d.file, d.mask);
  if (!image) return false;
  qui::DrawImage(cr, image, pos_, d);
  return true;
}

Control* Control::FindControlAt(Point pt) {
  if (!visible_ || !pos_.Contains(pt)) return nullptr;
  return this;
}

Control* Control::FindControlByName(const std::wstring& name) {
  return name_ == name ? this : nullptr;
}

void Control::SetManager(PaintManager* manager, Control* parent) {
  manager_ = manager;
  parent_ = parent;
}

}  // namespace qui
