// Shared set-up of the UI tests: the headless toolkit with the built skin,
// and a loop runner that waits for a condition without fixed sleeps.
#pragma once

#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "skin/embedded_skin.h"
#include "ui/sequence_controls.h"
#include "ui/skin_frame.h"
#include "ui/toolkit.h"

namespace uitest {

class HeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(qui::Toolkit::Initialize(qui::HostKind::kHeadless));
    ASSERT_TRUE(qui::Toolkit::IsHeadless());
    skin::RegisterEmbeddedSkin();
    qui::SkinWindowBase::ClearModalHooksForTesting();
  }
  void TearDown() override {
    qui::SkinWindowBase::ClearModalHooksForTesting();
    qui::SkinWindowBase::SetFolderPickerForTesting(nullptr);
  }
};

// Runs the main loop until `done` or `timeoutMs`; the result of `done`.
inline bool RunUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    g_main_context_iteration(g_main_context_default(), FALSE);
    g_usleep(200);
  }
  return true;
}

// ARGB pixel of a rendered window.
inline uint32_t PixelAt(cairo_surface_t* s, int x, int y) {
  const unsigned char* data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  return reinterpret_cast<const uint32_t*>(data + y * stride)[x];
}

// A window over the main layout that records notifications and clicks.
class RecordingWnd : public qui::CSkinFrame {
 public:
  explicit RecordingWnd(const wchar_t* file = L"MainWnd.xml")
      : CSkinFrame(qui::ResourceKind::kArchiveResource, qui::kSkinResourceId, L"", file, L"Rec") {}
  std::unique_ptr<qui::Control> CreateControl(const std::wstring& tag) override {
    customTags.push_back(tag);
    if (qui::EqualsNoCase(tag, L"SequenceLabel")) return std::make_unique<qui::CSequenceLabelUI>();
    return nullptr;
  }
  void Notify(qui::Notification& msg) override {
    notes.push_back(msg.type + L":" + (msg.sender ? msg.sender->GetName() : L""));
    lastNote = msg;
    CSkinFrame::Notify(msg);
  }
  void OnClick(qui::Notification& msg) override {
    clicks.push_back(msg.sender->GetName());
    CSkinFrame::OnClick(msg);
  }
  qui::LRESULT HandleCustomMessage(qui::UINT msg, qui::WPARAM w, qui::LPARAM l,
                                   bool& handled) override {
    if (msg >= qui::WM_USER || msg == qui::WM_TIMER) {
      messages.push_back({msg, w});
      handled = true;
      if (onMessage) onMessage(msg, w, l);
      return 0;
    }
    return CSkinFrame::HandleCustomMessage(msg, w, l, handled);
  }
  std::vector<std::wstring> customTags;
  std::vector<std::wstring> notes;
  std::vector<std::wstring> clicks;
  std::vector<std::pair<qui::UINT, qui::WPARAM>> messages;
  std::function<void(qui::UINT, qui::WPARAM, qui::LPARAM)> onMessage;
  qui::Notification lastNote;
};

}  // namespace uitest
