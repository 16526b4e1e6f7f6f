// Control: the base of every element of a window's control tree.
//
// Controls are created by the layout reader (or by window code) and owned by
// their parent container; the root control is owned by the window's
// PaintManager. Window code keeps plain, non-owning pointers found with
// FindControl; they stay valid until the window object is destroyed.
//
// Every operation here runs on the UI thread (the thread that runs the GLib
// main loop the windows live on). Nothing in this header needs a display.
#pragma once

#include <cairo.h>

#include <map>
#include <memory>
#include <string>

#include "ui/types.h"

namespace qui {

class Control;
class PaintManager;

// Input and timer events delivered to controls (Control::DoEvent).
enum class EventType {
  kMouseEnter,
  kMouseLeave,
  kMouseMove,
  kButtonDown,
  kButtonUp,
  kKeyDown,
  kChar,
  kSetFocus,
  kKillFocus,
  kTimer,  // wParam: timer id
};

struct EventArgs {
  EventType type = EventType::kMouseMove;
  Control* sender = nullptr;
  Point pt;           // mouse position in window coordinates
  WPARAM wParam = 0;  // key code, character or timer id
  LPARAM lParam = 0;
};

// A notification delivered to the window (its Notify operation). Types used
// by the toolkit: "click", "selectchanged", "tabselect", "timer", "setfocus",
// "killfocus", "textchanged"; windows add their own types.
struct Notification {
  std::wstring type;
  Control* sender = nullptr;  // may be the root control for self-sent types
  WPARAM wParam = 0;          // "tabselect": new index; "timer": timer id
  LPARAM lParam = 0;          // "tabselect": old index
};

// Mouse and focus state bits (Control::GetState()).
enum ControlState : uint32_t {
  kStateHot = 1u << 0,
  kStatePushed = 1u << 1,
  kStateFocused = 1u << 2,
  kStateDisabled = 1u << 3,
  kStateSelected = 1u << 4,
  kStateCaptured = 1u << 5,
};

// Text alignment bits (Label "align" / "valign" attributes).
enum TextAlign : uint32_t {
  kAlignLeft = 0,
  kAlignCenter = 1,
  kAlignRight = 2,
  kAlignTop = 0,
  kAlignVCenter = 4,
  kAlignBottom = 8,
};

class Control {
 public:
  Control();
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // Class name as used in layouts ("Control", "Label", "Button", ...).
  virtual std::wstring GetClass() const { return L"Control"; }
  // Interface query by class name: this control when it is (or derives from)
  // `name`, else nullptr. Derived classes answer their own name and forward.
  virtual void* GetInterface(const std::wstring& name);

  const std::wstring& GetName() const { return name_; }
  void SetName(const std::wstring& name) { name_ = name; }

  virtual std::wstring GetText() const { return text_; }
  virtual void SetText(const std::wstring& text);

  // Own visibility flag; IsReallyVisible() also checks every ancestor (and the
  // selection of tab layouts on the way up).
  bool IsVisible() const { return visible_; }
  virtual void SetVisible(bool visible);
  bool IsReallyVisible() const;

  bool IsEnabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);

  // Focus: the focused control receives key events; SetFocus on a control
  // that is not attached to a manager does nothing.
  bool IsFocused() const;
  void SetFocus();

  // Free text the layout can carry ("userdata"), and a number for window code.
  const std::wstring& GetUserData() const { return userData_; }
  void SetUserData(const std::wstring& data) { userData_ = data; }
  uintptr_t GetTag() const { return tag_; }
  void SetTag(uintptr_t tag) { tag_ = tag; }

  // Image descriptors: a bare archive path ("res\a.png") or keyed values
  // ("file='res/a.png' dest='0,3,15,17' corner='2,2,2,2' fade='200'").
  const std::wstring& GetBkImage() const { return bkImage_; }
  void SetBkImage(const std::wstring& image);
  const std::wstring& GetForeImage() const { return foreImage_; }
  void SetForeImage(const std::wstring& image);

  Color GetBkColor() const { return bkColor_; }
  void SetBkColor(Color color);
  Color GetBorderColor() const { return borderColor_; }
  void SetBorderColor(Color color);
  int GetBorderSize() const { return borderSize_; }
  void SetBorderSize(int size);
  Size GetBorderRound() const { return borderRound_; }
  void SetBorderRound(Size round);

  // Layout: a fixed width/height of 0 means flexible (shares the space left).
  int GetFixedWidth() const { return fixed_.cx; }
  void SetFixedWidth(int width);
  int GetFixedHeight() const { return fixed_.cy; }
  void SetFixedHeight(int height);
  // Outer margins inside the parent ("padding" attribute: l,t,r,b).
  Rect GetPadding() const { return padding_; }
  void SetPadding(const Rect& padding);
  // Position in window coordinates after the last layout pass.
  const Rect& GetPos() const { return pos_; }
  virtual void SetPos(const Rect& pos);
  // Preferred size for the parent's layout; 0 in a dimension means flexible.
  virtual Size EstimateSize(Size available);

  // Redraw this control / lay out the tree again before the next paint.
  void Invalidate();
  void NeedUpdate();
  void NeedParentUpdate();

  Control* GetParent() const { return parent_; }
  PaintManager* GetManager() const { return manager_; }
  uint32_t GetState() const { return state_; }

  // Per-control timers: `id` is this control's own; a second SetTimer with the
  // same id restarts it. Each expiry delivers EventType::kTimer to DoEvent,
  // whose base handling sends the "timer" notification to the window. False
  // when the control has no manager yet.
  bool SetTimer(UINT id, UINT elapseMs);
  void KillTimer(UINT id);

  // Layout attributes; unknown names are ignored. Derived classes handle their
  // own names and forward the rest.
  virtual void SetAttribute(const std::wstring& name, const std::wstring& value);
  // Applies "name=\"value\" name2=\"value2\"" lists.
  void ApplyAttributeList(const std::wstring& list);

  // Called once after the whole layout has been built and attached.
  virtual void DoInit() {}
  virtual void DoEvent(EventArgs& event);
  // Paints the control (and children) where it intersects `dirty`.
  virtual void DoPaint(cairo_t* cr, const Rect& dirty);

  // Whether a mouse press on this control belongs to it (buttons, edits) and
  // so must not start a caption drag.
  virtual bool IsInteractive() const { return false; }
  // Topmost visible, enabled-or-not control under `pt` (this or a child).
  virtual Control* FindControlAt(Point pt);
  // Depth-first search by name (this, then children).
  virtual Control* FindControlByName(const std::wstring& name);

  // Attaches the control (and children) to a manager; used by containers.
  virtual void SetManager(PaintManager* manager, Control* parent);

 protected:
  // Painting steps used by DoPaint, in order.
  virtual void PaintBkColor(cairo_t* cr);
  virtual void PaintBkImage(cairo_t* cr);
  virtual void PaintStatusImage(cairo_t* cr) { (void)cr; }
  virtual void PaintText(cairo_t* cr) { (void)cr; }
  virtual void PaintBorder(cairo_t* cr);
  // Draws an image descriptor inside this control's rectangle. False when the
  // image is missing.
  bool DrawImage(cairo_t* cr, const std::wstring& descriptor);

  std::wstring name_;
  std::wstring text_;
  std::wstring userData_;
  uintptr_t tag_ = 0;
  std::wstring bkImage_;
  std::wstring foreImage_;
  Color bkColor_ = 0;
  Color borderColor_ = 0;
  int borderSize_ = 0;
  Size borderRound_;
  Size fixed_;
  Rect padding_;
  Rect pos_;
  bool visible_ = true;
  bool enabled_ = true;
  uint32_t state_ = 0;
  Control* parent_ = nullptr;
  PaintManager* manager_ = nullptr;
};

}  // namespace qui
