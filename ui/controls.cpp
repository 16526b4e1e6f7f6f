#include "ui/controls.h"

#include <algorithm>
#include <cwchar>

#include "ui/paint_manager.h"
#include "ui/render.h"

namespace qui {
namespace {
int ToInt(const std::wstring& value) {
  return static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
}
}  // namespace

// --- Label -------------------------------------------------------------------

void* Label::GetInterface(const std::wstring& name) {
  return name == L"Label" ? this : Control::GetInterface(name);
}

void Label::SetFont(int index) {
  font_ = index;
  Invalidate();
}

void Label::SetTextColor(Color color) {
  textColor_ = color;
  Invalidate();
}

void Label::SetTextAlign(uint32_t align) {
  align_ = align;
  Invalidate();
}

void Label::SetTextPadding(const Rect& padding) {
  textPadding_ = padding;
  Invalidate();
}

void Label::SetMultiLine(bool multiLine) {
  multiLine_ = multiLine;
  Invalidate();
}

void Label::SetAttribute(const std::wstring& rawName, const std::wstring& value) {
  std::wstring name = ToLower(rawName);
  if (name == L"font") {
    SetFont(ToInt(value));
  } else if (name == L"textcolor") {
    SetTextColor(ParseColor(value));
  } else if (name == L"disabledtextcolor") {
    disabledTextColor_ = ParseColor(value);
  } else if (name == L"align") {
    uint32_t v = align_ & (kAlignVCenter | kAlignBottom);
    std::wstring a = ToLower(value);
    if (a.find(L"center") != std::wstring::npos) v |= kAlignCenter;
    if (a.find(L"right") != std::wstring::npos) v |= kAlignRight;
    SetTextAlign(v);
  } else if (name == L"valign") {
    uint32_t v = align_ & (kAlignCenter | kAlignRight);
    std::wstring a = ToLower(value);
    if (a.find(L"vcenter") != std::wstring::npos || a == L"center") v |= kAlignVCenter;
    if (a.find(L"bottom") != std::wstring::npos) v |= kAlignBottom;
    SetTextAlign(v);
  } else if (name == L"textpadding") {
    SetTextPadding(ParseRect(value));
  } else if (name == L"multiline") {
    SetMultiLine(ParseBool(value));
  } else if (name == L"endellipsis") {
    endEllipsis_ = ParseBool(value);
  } else {
    Control::SetAttribute(rawName, value);
  }
}

Color Label::CurrentTextColor() const {
  if (!enabled_ && disabledTextColor_) return disabledTextColor_;
  return textColor_ ? textColor_ : 0xFF000000u;
}

void Label::PaintText(cairo_t* cr) {
  std::wstring text = GetText();
  if (text.empty() || !manager_) return;
  DrawText(cr, text, manager_->GetFont(font_), CurrentTextColor(), pos_.Deflate(textPadding_),
           align_, multiLine_, endEllipsis_);
}

// --- Button ------------------------------------------------------------------

Button::Button() { align_ = kAlignCenter | kAlignVCenter; }

void* Button::GetInterface(const std::wstring& name) {
  return name == L"Button" ? this : Label::GetInterface(name);
}

void Button::Activate() {
  if (!manager_ || !enabled_ || !IsReallyVisible()) return;
  manager_->SendNotify(this, L"click");
}

void Button::SetNormalImage(const std::wstring& image) {
  normalImage_ = image;
  Invalidate();
}
void Button::SetHotImage(const std::wstring& image) {
  hotImage_ = image;
  Invalidate();
}
void Button::SetPushedImage(const std::wstring& image) {
  pushedImage_ = image;
  Invalidate();
}
void Button::SetDisabledImage(const std::wstring& image) {
  disabledImage_ = image;
  Invalidate();
}

void Button::SetAttribute(const std::wstring& rawName, const std::wstring& value) {
  std::wstring name = ToLower(rawName);
  if (name == L"normalimage") {
    SetNormalImage(value);
  } else if (name == L"hotimage") {
    SetHotImage(value);
  } else if (name == L"pushedimage") {
    SetPushedImage(value);
  } else if (name == L"disabledimage") {
    SetDisabledImage(value);
  } else if (name == L"focusedimage") {
    focusedImage_ = value;
  } else if (name == L"hotbkcolor") {
    hotBkColor_ = ParseColor(value);
  } else if (name == L"pushedbkcolor") {
    pushedBkColor_ = ParseColor(value);
  } else if (name == L"hottextcolor") {
    hotTextColor_ = ParseColor(value);
  } else if (name == L"pushedtextcolor") {
    pushedTextColor_ = ParseColor(value);
  } else {
    Label::SetAttribute(rawName, value);
  }
}

void Button::DoEvent(EventArgs& event) {
  switch (event.type) {
    case EventType::kButtonDown:
      if (!enabled_) return;
      state_ |= kStatePushed | kStateCaptured;
      Invalidate();
      return;
    case EventType::kMouseMove:
      if (state_ & kStateCaptured) {
        bool inside = pos_.Contains(event.pt);
        bool pushed = (state_ & kStatePushed) != 0;
        if (inside != pushed) {
          state_ ^= kStatePushed;
          Invalidate();
        }
      }
      return;
    case EventType::kButtonUp:
      if (state_ & kStateCaptured) {
        bool inside = pos_.Contains(event.pt);
        state_ &= ~(kStatePushed | kStateCaptured);
        Invalidate();
        if (inside) Activate();
      }
      return;
    case EventType::kKeyDown:
      if (event.wParam == VK_SPACE || event.wParam == VK_RETURN) {
        Activate();
        return;
      }
      break;
    default:
      break;
  }
  Label::DoEvent(event);
}

void Button::PaintBkColor(cairo_t* cr) {
  Color color = bkColor_;
  if ((state_ & kStatePushed) && pushedBkColor_) {
    color = pushedBkColor_;
  } else if ((state_ & kStateHot) && hotBkColor_) {
    color = hotBkColor_;
  }
  if (color == 0) return;
  SetSourceColor(cr, color);
  cairo_rectangle(cr, pos_.left, pos_.top, pos_.Width(), pos_.Height());
  cairo_fill(cr);
}

void Button::PaintStatusImage(cairo_t* cr) {
  if (!enabled_ && !disabledImage_.empty() && DrawImage(cr, disabledImage_)) return;
  if (enabled_ && (state_ & kStatePushed) && !pushedImage_.empty() && DrawImage(cr, pushedImage_)) {
    return;
  }
  if (enabled_ && (state_ & kStateHot) && !hotImage_.empty() && DrawImage(cr, hotImage_)) return;
  if ((state_ & kStateFocused) && !focusedImage_.empty() && DrawImage(cr, focusedImage_)) return;
  if (!normalImage_.empty()) DrawImage(cr, normalImage_);
}

Color Button::CurrentTextColor() const {
  if (enabled_ && (state_ & kStatePushed) && pushedTextColor_) return pushedTextColor_;
  if (enabled_ && (state_ & kStateHot) && hotTextColor_) return hotTextColor_;
  return Label::CurrentTextColor();
}

// --- CheckBox ----------------------------------------------------------------

void* CheckBox::GetInterface(const std::wstring& name) {
  return name == L"CheckBox" ? this : Button::GetInterface(name);
}

void CheckBox::Selected(bool selected, bool notify) {
  if (selected_ == selected) return;
  selected_ = selected;
  if (selected) {
    state_ |= kStateSelected;
  } else {
    state_ &= ~kStateSelected;
  }
  Invalidate();
  if (notify && manager_) manager_->SendNotify(this, L"selectchanged");
}

void CheckBox::Activate() {
  if (!manager_ || !enabled_ || !IsReallyVisible()) return;
  // The click goes first, then the state change.
  manager_->SendNotify(this, L"click");
  Selected(!selected_, true);
}

void CheckBox::SetAttribute(const std::wstring& rawName, const std::wstring& value) {
  std::wstring name = ToLower(rawName);
  if (name == L"selected") {
    Selected(ParseBool(value), false);
  } else if (name == L"selectedimage") {
    selectedImage_ = value;
  } else if (name == L"selectedhotimage") {
    selectedHotImage_ = value;
  } else if (name == L"selectedpushedimage") {
    selectedPushedImage_ = value;
  } else if (name == L"selectedtextcolor") {
    selectedTextColor_ = ParseColor(value);
  } else if (name == L"group") {
    // Radio groups are not used by the installer's layouts.
  } else {
    Button::SetAttribute(rawName, value);
  }
}

void CheckBox::PaintStatusImage(cairo_t* cr) {
  if (!selected_) {
    Button::PaintStatusImage(cr);
    return;
  }
  if ((state_ & kStatePushed) && !selectedPushedImage_.empty() &&
      DrawImage(cr, selectedPushedImage_)) {
    return;
  }
  if ((state_ & kStateHot) && !selectedHotImage_.empty() && DrawImage(cr, selectedHotImage_)) {
    return;
  }
  if (!selectedImage_.empty() && DrawImage(cr, selectedImage_)) return;
  Button::PaintStatusImage(cr);
}

Color CheckBox::CurrentTextColor() const {
  if (selected_ && selectedTextColor_ && enabled_) return selectedTextColor_;
  return Button::CurrentTextColor();
}

// --- Edit --------------------------------------------------------------------

Edit::Edit() { align_ = kAlignLeft | kAlignVCenter; }

Edit::~Edit() = default;

void* Edit::GetInterface(const std::wstring& name) {
  return name == L"Edit" ? this : Label::GetInterface(name);
}

std::wstring Edit::GetText() const { return peer_ ? peer_->GetText() : text_; }

void Edit::SetText(const std::wstring& text) {
  std::wstring limited = text;
  if (maxChar_ > 0 && limited.size() > static_cast<size_t>(maxChar_)) limited.resize(maxChar_);
  text_ = limited;
  if (peer_ && peer_->GetText() != limited) peer_->SetText(limited);
  Invalidate();
}

void Edit::SetPeer(std::unique_ptr<EditPeer> peer) {
  peer_ = std::move(peer);
  if (peer_) peer_->SetText(text_);
}

void Edit::OnPeerTextChanged() {
  if (!peer_) return;
  std::wstring now = peer_->GetText();
  if (now == text_) return;
  text_ = now;
  if (manager_) manager_->SendNotify(this, L"textchanged");
}

void Edit::SetAttribute(const std::wstring& rawName, const std::wstring& value) {
  std::wstring name = ToLower(rawName);
  if (name == L"readonly") {
    SetReadOnly(ParseBool(value));
  } else if (name == L"maxchar") {
    maxChar_ = ToInt(value);
  } else {
    Label::SetAttribute(rawName, value);
  }
}

void Edit::DoEvent(EventArgs& event) {
  switch (event.type) {
    case EventType::kButtonDown:
      if (enabled_) SetFocus();
      return;
    case EventType::kSetFocus:
      if (peer_) peer_->Focus();
      break;
    case EventType::kChar:
      if (!readOnly_ && enabled_ && event.wParam >= 0x20) {
        SetText(text_ + static_cast<wchar_t>(event.wParam));
        if (manager_) manager_->SendNotify(this, L"textchanged");
      }
      return;
    case EventType::kKeyDown:
      if (event.wParam == VK_BACK && !readOnly_ && enabled_ && !text_.empty()) {
        SetText(text_.substr(0, text_.size() - 1));
        if (manager_) manager_->SendNotify(this, L"textchanged");
        return;
      }
      break;
    default:
      break;
  }
  Label::DoEvent(event);
}

void Edit::PaintText(cairo_t* cr) {
  // With a native entry on top, the entry shows the text.
  if (peer_) return;
  Label::PaintText(cr);
}

// --- Progress ----------------------------------------------------------------

void* Progress::GetInterface(const std::wstring& name) {
  return name == L"Progress" ? this : Label::GetInterface(name);
}

void Progress::SetMinValue(int value) {
  min_ = value;
  Invalidate();
}

void Progress::SetMaxValue(int value) {
  max_ = value;
  Invalidate();
}

void Progress::SetValue(int value) {
  int clamped = std::clamp(value, std::min(min_, max_), std::max(min_, max_));
  if (clamped == value_) return;
  value_ = clamped;
  Invalidate();
}

void Progress::SetAttribute(const std::wstring& rawName, const std::wstring& value) {
  std::wstring name = ToLower(rawName);
  if (name == L"min") {
    SetMinValue(ToInt(value));
  } else if (name == L"max") {
    SetMaxValue(ToInt(value));
  } else if (name == L"value") {
    SetValue(ToInt(value));
  } else if (name == L"hor") {
    horizontal_ = ParseBool(value);
  } else if (name == L"isstretchfore") {
    stretchFore_ = ParseBool(value);
  } else {
    Label::SetAttribute(rawName, value);
  }
}

void Progress::PaintStatusImage(cairo_t* cr) {
  if (foreImage_.empty() || !manager_ || max_ <= min_ || value_ <= min_) return;
  double fraction = std::clamp(double(value_ - min_) / double(max_ - min_), 0.0, 1.0);
  ImageDescriptor d = ParseImageDescriptor(foreImage_);
  cairo_surface_t* image = manager_->GetImage(d.file, d.mask);
  if (!image) return;
  int iw = cairo_image_surface_get_width(image);
  int ih = cairo_image_surface_get_height(image);
  Rect area = d.hasDest ? d.dest : Rect{0, 0, pos_.Width(), pos_.Height()};
  if (horizontal_) {
    area.right = area.left + static_cast<int>(area.Width() * fraction);
  } else {
    area.top = area.bottom - static_cast<int>(area.Height() * fraction);
  }
  d.dest = area;
  d.hasDest = true;
  if (!stretchFore_) {
    Rect src = d.hasSource ? d.source : Rect{0, 0, iw, ih};
    if (horizontal_) {
      src.right = src.left + static_cast<int>(src.Width() * fraction);
    } else {
      src.top = src.bottom - static_cast<int>(src.Height() * fraction);
    }
    d.source = src;
    d.hasSource = true;
  }
  qui::DrawImage(cr, image, pos_, d);
}

}  // namespace qui
