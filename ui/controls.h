// The standard controls: Label, Button, CheckBox, Edit, Progress.
//
// Layout attributes understood (besides Control's: name, text, pos-free
// sizing "width", "height", "padding", "visible", "enabled", "userdata",
// "bkcolor", "bkimage", "foreimage", "bordercolor", "bordersize", "borderround"):
//   Label:    font (index), textcolor, disabledtextcolor, align (left|center|right),
//             valign (top|vcenter|bottom), textpadding (l,t,r,b), multiline (true|false),
//             endellipsis (true|false)
//   Button:   normalimage, hotimage, pushedimage, disabledimage, focusedimage,
//             hotbkcolor, pushedbkcolor, hottextcolor, pushedtextcolor
//   CheckBox: selected, selectedimage, selectedhotimage, selectedpushedimage,
//             selectedtextcolor, group (unused, accepted)
//   Edit:     readonly, maxchar
//   Progress: min, max, value, hor (true|false), isstretchfore (true|false)
// All operations run on the UI thread.
#pragma once

#include <memory>
#include <string>

#include "ui/control.h"

namespace qui {

class Label : public Control {
 public:
  std::wstring GetClass() const override { return L"Label"; }
  void* GetInterface(const std::wstring& name) override;

  int GetFont() const { return font_; }
  void SetFont(int index);
  Color GetTextColor() const { return textColor_; }
  void SetTextColor(Color color);
  uint32_t GetTextAlign() const { return align_; }
  void SetTextAlign(uint32_t align);
  Rect GetTextPadding() const { return textPadding_; }
  void SetTextPadding(const Rect& padding);
  bool IsMultiLine() const { return multiLine_; }
  void SetMultiLine(bool multiLine);

  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

 protected:
  void PaintText(cairo_t* cr) override;
  // Text colour for the current state (disabled, hot, ...).
  virtual Color CurrentTextColor() const;

  int font_ = -1;  // -1: the window's default font
  Color textColor_ = 0;
  Color disabledTextColor_ = 0;
  uint32_t align_ = kAlignLeft | kAlignVCenter;
  Rect textPadding_;
  bool multiLine_ = false;
  bool endEllipsis_ = false;
};

// A button sends "click" when the left button is pressed and released over it
// (or Space/Return while it has the focus).
class Button : public Label {
 public:
  Button();
  std::wstring GetClass() const override { return L"Button"; }
  void* GetInterface(const std::wstring& name) override;
  bool IsInteractive() const override { return true; }

  // Simulates a click through the event path (no mouse needed).
  virtual void Activate();

  const std::wstring& GetNormalImage() const { return normalImage_; }
  void SetNormalImage(const std::wstring& image);
  void SetHotImage(const std::wstring& image);
  void SetPushedImage(const std::wstring& image);
  void SetDisabledImage(const std::wstring& image);

  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void DoEvent(EventArgs& event) override;

 protected:
  void PaintBkColor(cairo_t* cr) override;
  void PaintStatusImage(cairo_t* cr) override;
  Color CurrentTextColor() const override;

  std::wstring normalImage_, hotImage_, pushedImage_, disabledImage_, focusedImage_;
  Color hotBkColor_ = 0, pushedBkColor_ = 0;
  Color hotTextColor_ = 0, pushedTextColor_ = 0;
};

// A check box toggles on click and sends "selectchanged" after the change.
class CheckBox : public Button {
 public:
  std::wstring GetClass() const override { return L"CheckBox"; }
  void* GetInterface(const std::wstring& name) override;

  bool IsSelected() const { return selected_; }
  // Changes the state; with `notify` a "selectchanged" notification is sent
  // (synchronously) when the state changed.
  void Selected(bool selected, bool notify = true);
  // Aliases used by window code.
  bool GetCheck() const { return selected_; }
  void SetCheck(bool check, bool notify = true) { Selected(check, notify); }

  void Activate() override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

 protected:
  void PaintStatusImage(cairo_t* cr) override;
  Color CurrentTextColor() const override;

  bool selected_ = false;
  std::wstring selectedImage_, selectedHotImage_, selectedPushedImage_;
  Color selectedTextColor_ = 0;
};

// Native text entry placed over an Edit by the GTK host (input methods,
// selection and clipboard). The headless host has none: the Edit then keeps
// and paints its text itself.
class EditPeer {
 public:
  virtual ~EditPeer() = default;
  virtual std::wstring GetText() const = 0;
  virtual void SetText(const std::wstring& text) = 0;
  virtual void Place(const Rect& rect, bool visible, bool enabled) = 0;
  virtual void Focus() = 0;
};

class Edit : public Label {
 public:
  Edit();
  ~Edit() override;
  std::wstring GetClass() const override { return L"Edit"; }
  void* GetInterface(const std::wstring& name) override;
  bool IsInteractive() const override { return true; }

  std::wstring GetText() const override;
  void SetText(const std::wstring& text) override;
  bool IsReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  int GetMaxChar() const { return maxChar_; }

  // Host use: attaches the native entry (owned by the Edit from then on).
  void SetPeer(std::unique_ptr<EditPeer> peer);
  EditPeer* GetPeer() const { return peer_.get(); }
  // Host use: text typed into the native entry ("textchanged" is sent).
  void OnPeerTextChanged();

  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void DoEvent(EventArgs& event) override;

 protected:
  void PaintText(cairo_t* cr) override;

  bool readOnly_ = false;
  int maxChar_ = 255;
  std::unique_ptr<EditPeer> peer_;
};

// Horizontal progress bar: the background image is the track, the foreground
// image the fill, cut to value/(max-min) of the width. With "isstretchfore"
// false (the default) the fill image is cropped, not squeezed.
class Progress : public Label {
 public:
  std::wstring GetClass() const override { return L"Progress"; }
  void* GetInterface(const std::wstring& name) override;

  int GetMinValue() const { return min_; }
  int GetMaxValue() const { return max_; }
  void SetMinValue(int value);
  void SetMaxValue(int value);
  int GetValue() const { return value_; }
  // Clamped to [min, max]; redraws.
  void SetValue(int value);

  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

 protected:
  void PaintStatusImage(cairo_t* cr) override;

  int min_ = 0;
  int max_ = 100;
  int value_ = 0;
  bool horizontal_ = true;
  bool stretchFore_ = false;
};

}  // namespace qui
