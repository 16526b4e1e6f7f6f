#include "ui/sequence_controls.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "ui/paint_manager.h"

namespace qui {
namespace {

// The pattern comes from the skin: only a text with exactly one integer
// conversion (flags, width and precision allowed; no '*', no '%n') and any
// number of "%%" is formatted. Anything else would read arguments that do not
// exist.
bool IsSafeFramePattern(const std::wstring& pattern) {
  int conversions = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != L'%') continue;
    ++i;
    if (i < pattern.size() && pattern[i] == L'%') continue;
    while (i < pattern.size() && std::wcschr(L"-+ #0", pattern[i])) ++i;
    while (i < pattern.size() && std::iswdigit(pattern[i])) ++i;
    if (i < pattern.size() && pattern[i] == L'.') {
      ++i;
      while (i < pattern.size() && std::iswdigit(pattern[i])) ++i;
    }
    if (i >= pattern.size() || !std::wcschr(L"diuxXo", pattern[i])) return false;
    ++conversions;
  }
  return conversions == 1;
}

}  // namespace

bool SequenceAnimation::SetAttribute(const std::wstring& name, const std::wstring& value) {
  // The pattern's name is matched exactly; the others ignoring case.
  if (name == L"sequencebkimage") {
    pattern = value;
    return true;
  }
  std::wstring lower = ToLower(name);
  if (lower == L"sequencecount") {
    count = static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
  } else if (lower == L"sequencespan") {
    span = static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
  } else if (lower == L"sequenceloop") {
    loop = value != L"false";
  } else if (lower == L"autostart") {
    autostart = value != L"false";
  } else if (lower == L"sequenceround") {
    backAndForth = value != L"false";
  } else {
    return false;
  }
  return true;
}

bool SequenceAnimation::IsPlayable() const {
  if (count <= 0) return false;
  if (backAndForth && count < 2) return false;
  return true;
}

SequenceAnimation::Tick SequenceAnimation::Advance() {
  Tick tick;
  if (pattern.empty() || !IsPlayable() || !IsSafeFramePattern(pattern)) return tick;
  const uint32_t n = static_cast<uint32_t>(count);
  if (forward && frame > n - 1) {
    if (backAndForth) {
      forward = false;
      frame = n - 2;
    } else {
      frame = 0;
      if (!loop) {
        tick.stop = true;
        return tick;
      }
    }
  }
  if (!forward && frame == 0) {
    if (backAndForth) forward = true;
    frame = 0;
    if (!loop) {
      tick.stop = true;
      return tick;
    }
  }
  wchar_t buffer[260];
  int written = std::swprintf(buffer, 260, pattern.c_str(), static_cast<int>(frame));
  if (written > 0) tick.image.assign(buffer, static_cast<size_t>(written));
  if (forward) {
    ++frame;
  } else {
    --frame;
  }
  return tick;
}

// --- SequenceControl ---------------------------------------------------------

template <class Base>
SequenceControl<Base>::~SequenceControl() {
  this->KillTimer(kAnimationTimerId);
}

template <class Base>
void SequenceControl<Base>::Start() {
  anim_.frame = 0;
  if (anim_.IsPlayable()) {
    this->SetTimer(kAnimationTimerId, static_cast<UINT>(std::max(1, anim_.span)));
  }
}

template <class Base>
void SequenceControl<Base>::Stop() {
  this->KillTimer(kAnimationTimerId);
}

template <class Base>
bool SequenceControl<Base>::IsRunning() const {
  return this->manager_ && this->manager_->HasTimer(this, kAnimationTimerId);
}

template <class Base>
void SequenceControl<Base>::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (!anim_.SetAttribute(name, value)) Base::SetAttribute(name, value);
}

template <class Base>
void SequenceControl<Base>::DoInit() {
  Base::DoInit();
  if (anim_.autostart && anim_.IsPlayable()) {
    this->SetTimer(kAnimationTimerId, static_cast<UINT>(std::max(1, anim_.span)));
  }
}

template <class Base>
void SequenceControl<Base>::DoEvent(EventArgs& event) {
  Base::DoEvent(event);
  if (event.type != EventType::kTimer || event.wParam != kAnimationTimerId) return;
  SequenceAnimation::Tick tick = anim_.Advance();
  if (tick.stop) {
    this->KillTimer(kAnimationTimerId);
    return;
  }
  if (!tick.image.empty()) {
    this->SetBkImage(tick.image);
    this->Invalidate();
  }
}

template class SequenceControl<Label>;
template class SequenceControl<Button>;

// --- CSequenceLabelUI / CSequenceButtonUI ------------------------------------

void* CSequenceLabelUI::GetInterface(const std::wstring& name) {
  return name == L"SequenceLabel" ? this : Label::GetInterface(name);
}

void* CSequenceButtonUI::GetInterface(const std::wstring& name) {
  return name == L"SequenceButton" ? this : Button::GetInterface(name);
}

}  // namespace qui
