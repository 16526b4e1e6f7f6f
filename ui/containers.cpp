#include "ui/containers.h"

#include <algorithm>
#include <cwchar>

#include "ui/paint_manager.h"

namespace qui {

// --- Container ---------------------------------------------------------------

void* Container::GetInterface(const std::wstring& name) {
  return name == L"Container" ? this : Control::GetInterface(name);
}

Control* Container::GetItemAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return items_[static_cast<size_t>(index)].get();
}

int Container::GetItemIndex(const Control* control) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].get() == control) return static_cast<int>(i);
  }
  return -1;
}

bool Container::Add(std::unique_ptr<Control> control) {
  return AddAt(std::move(control), GetCount());
}

bool Container::AddAt(std::unique_ptr<Control> control, int index) {
  if (!control || index < 0 || index > GetCount()) return false;
  Control* raw = control.get();
  items_.insert(items_.begin() + index, std::move(control));
  raw->SetManager(manager_, this);
  NeedUpdate();
  return true;
}

bool Container::Remove(Control* control) {
  int index = GetItemIndex(control);
  if (index < 0) return false;
  items_.erase(items_.begin() + index);
  NeedUpdate();
  return true;
}

void Container::RemoveAll() {
  items_.clear();
  NeedUpdate();
}

void Container::SetInset(const Rect& inset) {
  inset_ = inset;
  NeedUpdate();
}

void Container::SetChildPadding(int padding) {
  childPadding_ = padding;
  NeedUpdate();
}

void Container::SetAttribute(const std::wstring& rawName, const std::wstring& value) {
  std::wstring name = ToLower(rawName);
  if (name == L"inset") {
    SetInset(ParseRect(value));
  } else if (name == L"childpadding") {
    SetChildPadding(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
  } else if (name == L"childalign") {
    std::wstring a = ToLower(value);
    childAlign_ = (childAlign_ & ~(kAlignCenter | kAlignRight)) | (a == L"center"  ? kAlignCenter
                                                                   : a == L"right" ? kAlignRight
                                                                                   : 0u);
    NeedUpdate();
  } else if (name == L"childvalign") {
    std::wstring a = ToLower(value);
    childAlign_ = (childAlign_ & ~(kAlignVCenter | kAlignBottom)) |
                  (a == L"vcenter" || a == L"center" ? kAlignVCenter
                   : a == L"bottom"                  ? kAlignBottom
                                                     : 0u);
    NeedUpdate();
  } else {
    Control::SetAttribute(rawName, value);
  }
}

void Container::SetPos(const Rect& pos) {
  Control::SetPos(pos);
  // A plain container stacks every child over its whole inner area.
  Rect inner = pos.Deflate(inset_);
  for (auto& item : items_) {
    if (!item->IsVisible()) continue;
    item->SetPos(inner.Deflate(item->GetPadding()));
  }
}

void Container::DoPaint(cairo_t* cr, const Rect& dirty) {
  if (!visible_ || pos_.Intersect(dirty).IsEmpty()) return;
  Control::DoPaint(cr, dirty);
  cairo_save(cr);
  cairo_rectangle(cr, pos_.left, pos_.top, pos_.Width(), pos_.Height());
  cairo_clip(cr);
  for (auto& item : items_) {
    if (item->IsVisible()) item->DoPaint(cr, dirty);
  }
  cairo_restore(cr);
}

Control* Container::FindControlAt(Point pt) {
  if (!visible_ || !pos_.Contains(pt)) return nullptr;
  // Later children paint on top, so they are hit first.
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    if (Control* hit = (*it)->FindControlAt(pt)) return hit;
  }
  return this;
}

Control* Container::FindControlByName(const std::wstring& name) {
  if (name_ == name) return this;
  for (auto& item : items_) {
    if (Control* found = item->FindControlByName(name)) return found;
  }
  return nullptr;
}

void Container::SetManager(PaintManager* manager, Control* parent) {
  Control::SetManager(manager, parent);
  for (auto& item : items_) item->SetManager(manager, this);
}

void Container::SetVisible(bool visible) { Control::SetVisible(visible); }

namespace {

// Shares `total` along one axis: fixed sizes kept, the rest split equally
// between the flexible items (the remainder goes to the last one).
template <class FixedOf>
std::vector<int> ShareAxis(const std::vector<Control*>& items, int total, int gap, FixedOf fixed) {
  std::vector<int> sizes(items.size(), 0);
  int used = 0, flexible = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    int f = fixed(items[i]);
    if (f > 0) {
      sizes[i] = f;
      used += f;
    } else {
      ++flexible;
    }
  }
  if (!items.empty()) used += gap * static_cast<int>(items.size() - 1);
  int left = std::max(0, total - used);
  int share = flexible ? left / flexible : 0;
  int remainder = flexible ? left - share * flexible : 0;
  int seen = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    if (fixed(items[i]) > 0) continue;
    ++seen;
    sizes[i] = share + (seen == flexible ? remainder : 0);
  }
  return sizes;
}

}  // namespace

// --- VerticalLayout ----------------------------------------------------------

void* VerticalLayout::GetInterface(const std::wstring& name) {
  return name == L"VerticalLayout" ? this : Container::GetInterface(name);
}

void VerticalLayout::SetPos(const Rect& pos) {
  Control::SetPos(pos);
  Rect inner = pos.Deflate(inset_);
  std::vector<Control*> visible;
  for (auto& item : items_) {
    if (item->IsVisible()) visible.push_back(item.get());
  }
  Size avail{inner.Width(), inner.Height()};
  auto heights = ShareAxis(visible, inner.Height(), childPadding_, [&](Control* c) {
    Size s = c->EstimateSize(avail);
    int h = s.cy;
    if (h <= 0) return 0;
    Rect p = c->GetPadding();
    return h + p.top + p.bottom;
  });
  int y = inner.top;
  for (size_t i = 0; i < visible.size(); ++i) {
    Control* c = visible[i];
    Rect p = c->GetPadding();
    int w = c->EstimateSize(avail).cx;
    int full = inner.Width() - p.left - p.right;
    if (w <= 0 || w > full) w = full;
    int x = inner.left + p.left;
    if (childAlign_ & kAlignCenter) x = inner.left + p.left + (full - w) / 2;
    if (childAlign_ & kAlignRight) x = inner.right - p.right - w;
    int h = heights[i] - p.top - p.bottom;
    c->SetPos({x, y + p.top, x + w, y + p.top + std::max(0, h)});
    y += heights[i] + childPadding_;
  }
}

// --- HorizontalLayout --------------------------------------------------------

void* HorizontalLayout::GetInterface(const std::wstring& name) {
  return name == L"HorizontalLayout" ? this : Container::GetInterface(name);
}

void HorizontalLayout::SetPos(const Rect& pos) {
  Control::SetPos(pos);
  Rect inner = pos.Deflate(inset_);
  std::vector<Control*> visible;
  for (auto& item : items_) {
    if (item->IsVisible()) visible.push_back(item.get());
  }
  Size avail{inner.Width(), inner.Height()};
  auto widths = ShareAxis(visible, inner.Width(), childPadding_, [&](Control* c) {
    int w = c->EstimateSize(avail).cx;
    if (w <= 0) return 0;
    Rect p = c->GetPadding();
    return w + p.left + p.right;
  });
  int x = inner.left;
  for (size_t i = 0; i < visible.size(); ++i) {
    Control* c = visible[i];
    Rect p = c->GetPadding();
    int h = c->EstimateSize(avail).cy;
    int full = inner.Height() - p.top - p.bottom;
    if (h <= 0 || h > full) h = full;
    int y = inner.top + p.top;
    if (childAlign_ & kAlignVCenter) y = inner.top + p.top + (full - h) / 2;
    if (childAlign_ & kAlignBottom) y = inner.bottom - p.bottom - h;
    int w = widths[i] - p.left - p.right;
    c->SetPos({x + p.left, y, x + p.left + std::max(0, w), y + h});
    x += widths[i] + childPadding_;
  }
}

// --- TabLayout ---------------------------------------------------------------

void* TabLayout::GetInterface(const std::wstring& name) {
  return name == L"TabLayout" ? this : Container::GetInterface(name);
}

bool TabLayout::SelectItem(int index, bool notify) {
  if (index < 0 || index >= GetCount()) return false;
  int old = curSel_;
  curSel_ = index;
  for (int i = 0; i < GetCount(); ++i) items_[static_cast<size_t>(i)]->SetVisible(i == index);
  NeedUpdate();
  Invalidate();
  if (manager_ && notify && old != index) {
    manager_->SendNotify(this, L"tabselect", static_cast<WPARAM>(index), old);
  }
  return true;
}

bool TabLayout::SelectItem(Control* control, bool notify) {
  return SelectItem(GetItemIndex(control), notify);
}

void TabLayout::SetAttribute(const std::wstring& rawName, const std::wstring& value) {
  if (ToLower(rawName) == L"selectedid") {
    curSel_ = static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
  } else {
    Container::SetAttribute(rawName, value);
  }
}

void TabLayout::SetPos(const Rect& pos) {
  Control::SetPos(pos);
  Rect inner = pos.Deflate(inset_);
  for (auto& item : items_) {
    if (item->IsVisible()) item->SetPos(inner.Deflate(item->GetPadding()));
  }
}

void TabLayout::DoInit() {
  if (curSel_ < 0 || curSel_ >= GetCount()) curSel_ = 0;
  for (int i = 0; i < GetCount(); ++i) items_[static_cast<size_t>(i)]->SetVisible(i == curSel_);
}

}  // namespace qui
