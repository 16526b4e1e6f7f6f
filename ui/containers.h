// Containers: own their children and lay them out.
//
// Layout attributes: inset (l,t,r,b inner margin), childpadding (gap between
// children), childalign (left|center|right) for VerticalLayout and childvalign
// (top|vcenter|bottom) for HorizontalLayout, selectedid for TabLayout.
//
// Sizing rule (VerticalLayout; HorizontalLayout is the same across): children
// with a fixed height get it; the height left is shared equally by the
// flexible children (fixed height 0). Widths: a fixed width is kept (placed
// by childalign), a flexible width fills the container. Children that are
// not visible take no space. UI thread only.
#pragma once

#include <memory>
#include <vector>

#include "ui/control.h"

namespace qui {

class Container : public Control {
 public:
  std::wstring GetClass() const override { return L"Container"; }
  void* GetInterface(const std::wstring& name) override;

  int GetCount() const { return static_cast<int>(items_.size()); }
  Control* GetItemAt(int index) const;
  int GetItemIndex(const Control* control) const;
  // Takes ownership; false (and the control destroyed) when `control` is null.
  bool Add(std::unique_ptr<Control> control);
  bool AddAt(std::unique_ptr<Control> control, int index);
  // Destroys the child.
  bool Remove(Control* control);
  void RemoveAll();

  Rect GetInset() const { return inset_; }
  void SetInset(const Rect& inset);
  int GetChildPadding() const { return childPadding_; }
  void SetChildPadding(int padding);

  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void SetPos(const Rect& pos) override;
  void DoPaint(cairo_t* cr, const Rect& dirty) override;
  Control* FindControlAt(Point pt) override;
  Control* FindControlByName(const std::wstring& name) override;
  void SetManager(PaintManager* manager, Control* parent) override;
  void SetVisible(bool visible) override;

 protected:
  std::vector<std::unique_ptr<Control>> items_;
  Rect inset_;
  int childPadding_ = 0;
  uint32_t childAlign_ = kAlignLeft | kAlignTop;
};

class VerticalLayout : public Container {
 public:
  std::wstring GetClass() const override { return L"VerticalLayout"; }
  void* GetInterface(const std::wstring& name) override;
  void SetPos(const Rect& pos) override;
};

class HorizontalLayout : public Container {
 public:
  std::wstring GetClass() const override { return L"HorizontalLayout"; }
  void* GetInterface(const std::wstring& name) override;
  void SetPos(const Rect& pos) override;
};

// Shows exactly one child (the selected item) filling the whole area.
class TabLayout : public Container {
 public:
  std::wstring GetClass() const override { return L"TabLayout"; }
  void* GetInterface(const std::wstring& name) override;

  int GetCurSel() const { return curSel_; }
  // Selects item `index`; false when out of range. With `notify` (and a
  // change of page) sends "tabselect" (wParam new, lParam old index)
  // synchronously after the new page is shown.
  bool SelectItem(int index, bool notify = true);
  bool SelectItem(Control* control, bool notify = true);

  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void SetPos(const Rect& pos) override;
  void DoInit() override;

 private:
  int curSel_ = 0;
  friend class LayoutBuilder;
};

}  // namespace qui
