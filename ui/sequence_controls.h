// Image-sequence controls: play a numbered series of skin images as a frame
// animation, each frame becoming the control's background image.
//
//   <SequenceLabel name="progressAnLb" sequencebkimage="res\anim\%.3d.png"
//                  sequencecount="60" sequencespan="30" autostart="true"/>
//
// Attributes: "sequencebkimage" (exact name; printf pattern with one integer
// conversion), "sequencecount", "sequencespan" (ms), "sequenceloop",
// "autostart", "sequenceround" (back-and-forth) — the last five compared
// ignoring case; the three flags are false only for the exact text "false".
//
// The animation runs on the control's timer kAnimationTimerId (2100). A
// count of 0, or back-and-forth with a count below 2, leaves the control idle
// (no frame changes) instead of counting frames without end; so does a
// pattern that is not one integer conversion (it would read missing arguments).
// UI thread only.
#pragma once

#include <string>

#include "ui/controls.h"

namespace qui {

constexpr UINT kAnimationTimerId = 2100;

// The animation state and tick rules shared by both controls.
class SequenceAnimation {
 public:
  SequenceAnimation(int spanMs, bool roundTrip) : span(spanMs), backAndForth(roundTrip) {}

  // Handles a sequence attribute; false when `name` is not one.
  bool SetAttribute(const std::wstring& name, const std::wstring& value);
  // Whether the count allows playing (see the header comment).
  bool IsPlayable() const;
  // One timer tick: the image to show next (empty: nothing to draw) and
  // whether the timer must stop.
  struct Tick {
    std::wstring image;
    bool stop = false;
  };
  Tick Advance();

  std::wstring pattern;
  int count = 0;
  int span;
  bool autostart = false;
  bool loop = true;
  bool backAndForth;
  bool forward = true;
  uint32_t frame = 0;
};

// The control side shared by both controls: the sequence attributes, the
// timer and the frame drawing, on top of `Base` (Label or Button).
template <class Base>
class SequenceControl : public Base {
 public:
  ~SequenceControl() override;

  virtual void SetSequenceImage(const std::wstring& pattern) { anim_.pattern = pattern; }
  virtual const std::wstring& GetSequenceImage() const { return anim_.pattern; }
  virtual void SetSequenceCount(int count) { anim_.count = count; }
  virtual int GetSequenceCount() const { return anim_.count; }
  virtual void SetSequenceSpan(int span) { anim_.span = span; }
  virtual int GetSequenceSpan() const { return anim_.span; }

  // Frame 0, then the timer with the span (first frame drawn at the first tick).
  void Start();
  // Kills the animation timer (the owner may also kill timer 2100 itself).
  void Stop();
  bool IsRunning() const;
  uint32_t GetFrame() const { return anim_.frame; }
  bool IsForward() const { return anim_.forward; }
  bool IsLoop() const { return anim_.loop; }
  bool IsBackAndForth() const { return anim_.backAndForth; }
  bool IsAutoStart() const { return anim_.autostart; }

  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void DoInit() override;
  void DoEvent(EventArgs& event) override;

 protected:
  SequenceControl(int spanMs, bool roundTrip) : anim_(spanMs, roundTrip) {}

 private:
  SequenceAnimation anim_;
};

extern template class SequenceControl<Label>;
extern template class SequenceControl<Button>;

// Default span 30 ms, plays once.
class CSequenceLabelUI : public SequenceControl<Label> {
 public:
  CSequenceLabelUI() : SequenceControl(30, false) {}
  std::wstring GetClass() const override { return L"SequenceLabel"; }
  void* GetInterface(const std::wstring& name) override;
};

// Default span 60 ms, back and forth.
class CSequenceButtonUI : public SequenceControl<Button> {
 public:
  CSequenceButtonUI() : SequenceControl(60, true) {}
  std::wstring GetClass() const override { return L"SequenceButton"; }
  void* GetInterface(const std::wstring& name) override;
};

}  // namespace qui
