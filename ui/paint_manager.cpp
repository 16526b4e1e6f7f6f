#include "ui/paint_manager.h"

#include <glib.h>

#include <algorithm>
#include <cstring>

#include "ui/containers.h"
#include "ui/dispatch_queue.h"
#include "ui/render.h"
#include "ui/skin_archive.h"

namespace qui {
namespace {

struct PngReader {
  const std::string* bytes;
  size_t offset;
};

cairo_status_t ReadPng(void* closure, unsigned char* data, unsigned int length) {
  auto* r = static_cast<PngReader*>(closure);
  if (r->offset + length > r->bytes->size()) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(data, r->bytes->data() + r->offset, length);
  r->offset += length;
  return CAIRO_STATUS_SUCCESS;
}

// Makes every pixel of colour `mask` (alpha ignored) transparent.
void ApplyMask(cairo_surface_t* surface, Color mask) {
  cairo_surface_flush(surface);
  int w = cairo_image_surface_get_width(surface);
  int h = cairo_image_surface_get_height(surface);
  int stride = cairo_image_surface_get_stride(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
    for (int x = 0; x < w; ++x) {
      if ((row[x] >> 24) == 0xFF && (row[x] & 0xFFFFFF) == (mask & 0xFFFFFF)) row[x] = 0;
    }
  }
  cairo_surface_mark_dirty(surface);
}

// Walks the tree parents first.
template <class Fn>
void ForEachControl(Control* control, Fn&& fn) {
  if (!control) return;
  fn(control);
  if (auto* container = dynamic_cast<Container*>(control)) {
    for (int i = 0; i < container->GetCount(); ++i) ForEachControl(container->GetItemAt(i), fn);
  }
}

}  // namespace

PaintManager::PaintManager(std::shared_ptr<SkinArchive> resources,
                           std::shared_ptr<DispatchQueue> queue)
    : resources_(std::move(resources)), queue_(std::move(queue)) {}

PaintManager::~PaintManager() {
  Shutdown();
  // The tree goes first: controls report their destruction to the manager.
  root_.reset();
  for (auto& [key, surface] : images_) cairo_surface_destroy(surface);
}

void PaintManager::AttachRoot(std::unique_ptr<Control> root) {
  root_ = std::move(root);
  hot_ = pushed_ = focus_ = nullptr;
  if (!root_) return;
  root_->SetManager(this, nullptr);
  ForEachControl(root_.get(), [](Control* c) { c->DoInit(); });
  NeedUpdate();
}

Control* PaintManager::FindControl(const std::wstring& name) const {
  if (!root_ || name.empty()) return nullptr;
  return root_->FindControlByName(name);
}

Control* PaintManager::FindControlAt(Point pt) const {
  return root_ ? root_->FindControlAt(pt) : nullptr;
}

void PaintManager::AddNotifier(INotify* sink) {
  if (std::find(notifiers_.begin(), notifiers_.end(), sink) == notifiers_.end()) {
    notifiers_.push_back(sink);
  }
}

void PaintManager::RemoveNotifier(INotify* sink) {
  notifiers_.erase(std::remove(notifiers_.begin(), notifiers_.end(), sink), notifiers_.end());
}

void PaintManager::SendNotify(Control* sender, const std::wstring& type, WPARAM wParam,
                              LPARAM lParam, bool async) {
  if (!async) {
    Notification msg{type, sender ? sender : root_.get(), wParam, lParam};
    Deliver(msg);
    return;
  }
  uint64_t ticket;
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    if (shutdown_) return;
    ticket = nextTicket_++;
    pending_[ticket] = PendingNotify{sender, type, wParam, lParam};
  }
  if (!queue_ || !queue_->Post([this, ticket] { DeliverQueued(ticket); })) {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    pending_.erase(ticket);
  }
}

void PaintManager::DeliverQueued(uint64_t ticket) {
  PendingNotify item;
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    auto it = pending_.find(ticket);
    if (it == pending_.end()) return;  // sender destroyed meanwhile
    item = it->second;
    pending_.erase(it);
  }
  Notification msg{item.type, item.sender ? item.sender : root_.get(), item.wParam, item.lParam};
  Deliver(msg);
}

void PaintManager::Deliver(Notification& msg) {
  // A sink may remove itself while being called: iterate over a copy.
  std::vector<INotify*> sinks = notifiers_;
  for (INotify* sink : sinks) {
    if (std::find(notifiers_.begin(), notifiers_.end(), sink) != notifiers_.end()) {
      sink->Notify(msg);
    }
  }
}

// --- Timers ------------------------------------------------------------------

namespace {
struct TimerData {
  PaintManager* manager;
  Control* control;
  UINT id;
};
}  // namespace

int PaintManager::OnTimerSource(void* data) {
  // Copy: the handler may kill this very timer (and free `data`).
  TimerData t = *static_cast<TimerData*>(data);
  EventArgs event;
  event.type = EventType::kTimer;
  event.sender = t.control;
  event.wParam = t.id;
  t.control->DoEvent(event);
  return G_SOURCE_CONTINUE;
}

bool PaintManager::SetTimer(Control* control, UINT id, UINT elapseMs) {
  if (!control || shutdown_) return false;
  KillTimer(control, id);
  GSource* source = g_timeout_source_new(elapseMs);
  g_source_set_callback(source, reinterpret_cast<GSourceFunc>(&PaintManager::OnTimerSource),
                        new TimerData{this, control, id},
                        [](gpointer data) { delete static_cast<TimerData*>(data); });
  unsigned sourceId = g_source_attach(source, g_main_context_default());
  g_source_unref(source);
  timers_[{control, id}] = sourceId;
  return true;
}

void PaintManager::KillTimer(Control* control, UINT id) {
  auto it = timers_.find({control, id});
  if (it == timers_.end()) return;
  GSource* source = g_main_context_find_source_by_id(g_main_context_default(), it->second);
  if (source) g_source_destroy(source);
  timers_.erase(it);
}

void PaintManager::KillTimers(Control* control) {
  for (auto it = timers_.begin(); it != timers_.end();) {
    if (it->first.control == control) {
      GSource* source = g_main_context_find_source_by_id(g_main_context_default(), it->second);
      if (source) g_source_destroy(source);
      it = timers_.erase(it);
    } else {
      ++it;
    }
  }
}

void PaintManager::KillAllTimers() {
  for (auto& [key, sourceId] : timers_) {
    GSource* source = g_main_context_find_source_by_id(g_main_context_default(), sourceId);
    if (source) g_source_destroy(source);
  }
  timers_.clear();
}

bool PaintManager::HasTimer(const Control* control, UINT id) const {
  return timers_.count({control, id}) != 0;
}

// --- Fonts -------------------------------------------------------------------

void PaintManager::AddFont(int id, const FontInfo& font, bool isDefault) {
  fonts_[id] = font;
  if (isDefault || defaultFont_ < 0) defaultFont_ = id;
}

const FontInfo& PaintManager::GetFont(int id) const {
  static const FontInfo kBuiltin{L"", 12, false, false, false};
  auto it = fonts_.find(id);
  if (it != fonts_.end()) return it->second;
  it = fonts_.find(defaultFont_);
  if (it != fonts_.end()) return it->second;
  return kBuiltin;
}

// --- Resources ---------------------------------------------------------------

const std::string* PaintManager::ReadResource(const std::wstring& path) const {
  return resources_ ? resources_->Find(path) : nullptr;
}

cairo_surface_t* PaintManager::GetImage(const std::wstring& path, Color mask) {
  if (path.empty()) return nullptr;
  std::wstring key = SkinArchive::NormalizeName(path) + L"|" + std::to_wstring(mask);
  auto it = images_.find(key);
  if (it != images_.end()) return it->second;
  const std::string* bytes = ReadResource(path);
  cairo_surface_t* surface = nullptr;
  if (bytes) {
    PngReader reader{bytes, 0};
    surface = cairo_image_surface_create_from_png_stream(&ReadPng, &reader);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(surface);
      surface = nullptr;
    } else if (mask) {
      ApplyMask(surface, mask);
    }
  }
  // Missing images are remembered too, so a broken path costs one lookup.
  images_[key] = surface;
  return surface;
}

// --- Layout and painting -----------------------------------------------------

void PaintManager::SetClientSize(Size size) {
  clientSize_ = size;
  NeedUpdate();
}

void PaintManager::NeedUpdate() {
  if (!updateNeeded_) {
    updateNeeded_ = true;
    if (onInvalidate) onInvalidate({0, 0, clientSize_.cx, clientSize_.cy});
  }
}

void PaintManager::UpdateLayout() {
  if (!updateNeeded_ || !root_) return;
  updateNeeded_ = false;
  Rect client{0, 0, clientSize_.cx, clientSize_.cy};
  root_->SetPos(client.Deflate(root_->GetPadding()));
  if (onLayout) onLayout();
}

void PaintManager::Invalidate(const Rect& rect) {
  if (onInvalidate && !rect.IsEmpty()) onInvalidate(rect);
}

void PaintManager::Paint(cairo_t* cr, const Rect& dirty) {
  UpdateLayout();
  if (!root_) return;
  root_->DoPaint(cr, dirty);
}

// --- Input -------------------------------------------------------------------

void PaintManager::OnMouseMove(Point pt) {
  if (!inputEnabled_) return;
  UpdateLayout();
  Control* hit = FindControlAt(pt);
  if (hit && !hit->IsEnabled()) hit = nullptr;
  if (hit != hot_) {
    EventArgs e;
    if (hot_) {
      e.type = EventType::kMouseLeave;
      e.pt = pt;
      e.sender = hot_;
      hot_->DoEvent(e);
    }
    hot_ = hit;
    if (hot_) {
      e.type = EventType::kMouseEnter;
      e.pt = pt;
      e.sender = hot_;
      hot_->DoEvent(e);
    }
  }
  if (pushed_) {
    EventArgs e;
    e.type = EventType::kMouseMove;
    e.pt = pt;
    e.sender = pushed_;
    pushed_->DoEvent(e);
  }
}

void PaintManager::OnMouseLeave() {
  if (hot_) {
    EventArgs e;
    e.type = EventType::kMouseLeave;
    e.sender = hot_;
    Control* old = hot_;
    hot_ = nullptr;
    old->DoEvent(e);
  }
}

Control* PaintManager::OnButtonDown(Point pt) {
  if (!inputEnabled_) return nullptr;
  UpdateLayout();
  Control* hit = FindControlAt(pt);
  if (!hit || !hit->IsEnabled()) return hit;
  if (hit->IsInteractive()) {
    if (hit != focus_) SetFocus(hit);
  }
  pushed_ = hit;
  EventArgs e;
  e.type = EventType::kButtonDown;
  e.pt = pt;
  e.sender = hit;
  hit->DoEvent(e);
  return hit;
}

void PaintManager::OnButtonUp(Point pt) {
  Control* target = pushed_;
  pushed_ = nullptr;
  if (!target || !inputEnabled_) return;
  EventArgs e;
  e.type = EventType::kButtonUp;
  e.pt = pt;
  e.sender = target;
  target->DoEvent(e);
}

bool PaintManager::OnKeyDown(WPARAM vk) {
  if (!inputEnabled_ || !focus_ || !focus_->IsEnabled() || !focus_->IsReallyVisible()) return false;
  EventArgs e;
  e.type = EventType::kKeyDown;
  e.wParam = vk;
  e.sender = focus_;
  focus_->DoEvent(e);
  return true;
}

bool PaintManager::OnChar(wchar_t ch) {
  if (!inputEnabled_ || !focus_ || !focus_->IsEnabled()) return false;
  EventArgs e;
  e.type = EventType::kChar;
  e.wParam = static_cast<WPARAM>(ch);
  e.sender = focus_;
  focus_->DoEvent(e);
  return true;
}

void PaintManager::SetFocus(Control* control) {
  if (control == focus_) return;
  EventArgs e;
  if (focus_) {
    Control* old = focus_;
    focus_ = nullptr;
    e.type = EventType::kKillFocus;
    e.sender = old;
    old->DoEvent(e);
    SendNotify(old, L"killfocus");
  }
  focus_ = control;
  if (focus_) {
    e.type = EventType::kSetFocus;
    e.sender = focus_;
    focus_->DoEvent(e);
    SendNotify(focus_, L"setfocus");
  }
}

void PaintManager::ReapControl(Control* control) {
  if (hot_ == control) hot_ = nullptr;
  if (pushed_ == control) pushed_ = nullptr;
  if (focus_ == control) focus_ = nullptr;
  KillTimers(control);
  std::lock_guard<std::mutex> lock(pendingMutex_);
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (it->second.sender == control) {
      it = pending_.erase(it);
    } else {
      ++it;
    }
  }
}

void PaintManager::Shutdown() {
  KillAllTimers();
  std::lock_guard<std::mutex> lock(pendingMutex_);
  shutdown_ = true;
  pending_.clear();
}

}  // namespace qui
