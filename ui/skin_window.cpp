#include "ui/skin_window.h"

#include <glib.h>
#include <unistd.h>

#include <deque>
#include <mutex>

#include "ui/dispatch_queue.h"
#include "ui/host.h"
#include "ui/layout_builder.h"
#include "ui/resources.h"
#include "ui/skin_archive.h"
#include "ui/toolkit.h"
#include "utils/log.h"
#include "utils/text.h"

namespace qui {
namespace {

std::mutex& HookMutex() {
  static std::mutex mutex;
  return mutex;
}
std::deque<std::function<void(SkinWindowBase&)>>& ModalHooks() {
  static std::deque<std::function<void(SkinWindowBase&)>> hooks;
  return hooks;
}

std::string ExecutableFolder() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (n <= 0) return ".";
  std::string path(buffer, static_cast<size_t>(n));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string ResolveFolder(const std::wstring& folder) {
  std::string narrow = Utils::WideToMultiByte(folder, Utils::kCodePageUtf8);
  for (char& c : narrow) {
    if (c == '\\') c = '/';
  }
  if (!narrow.empty() && narrow[0] == '/') return narrow;
  std::string base = ExecutableFolder();
  return narrow.empty() ? base : base + "/" + narrow;
}

template <class Fn>
void ForEachEdit(Control* control, Fn&& fn) {
  if (!control) return;
  if (auto* edit = dynamic_cast<Edit*>(control)) fn(edit);
  if (auto* container = dynamic_cast<Container*>(control)) {
    for (int i = 0; i < container->GetCount(); ++i) ForEachEdit(container->GetItemAt(i), fn);
  }
}

struct WindowTimerData {
  SkinWindowBase* window;
  UINT id;
};

}  // namespace

SkinWindowBase::SkinWindowBase(ResourceKind kind, int resourceId, std::wstring skinFolder,
                               std::wstring skinFile, std::wstring className)
    : kind_(kind),
      resourceId_(resourceId),
      skinFolder_(std::move(skinFolder)),
      skinFile_(std::move(skinFile)),
      className_(std::move(className)),
      queue_(DispatchQueue::Create()),
      manager_(std::make_unique<PaintManager>(nullptr, queue_)) {}

SkinWindowBase::~SkinWindowBase() {
  DestroyWindow();
  queue_->Close();
  for (auto& [id, sourceId] : windowTimers_) {
    if (GSource* s = g_main_context_find_source_by_id(g_main_context_default(), sourceId)) {
      g_source_destroy(s);
    }
  }
  windowTimers_.clear();
  manager_.reset();
}

// --- Hooks -------------------------------------------------------------------

void SkinWindowBase::Notify(Notification& msg) {
  if (msg.type == L"click") OnClick(msg);
}

void SkinWindowBase::OnClick(Notification& msg) {
  if (!msg.sender) return;
  const std::wstring& name = msg.sender->GetName();
  if (name == L"closebtn") {
    Close(1);
  } else if (name == L"minbtn") {
    SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  } else if (name == L"maxbtn") {
    SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  } else if (name == L"restorebtn") {
    SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
  }
}

LRESULT SkinWindowBase::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CLOSE:
      modalResult_ = static_cast<UINT>(wParam);
      DestroyWindow();
      return 0;
    case WM_SYSCOMMAND: {
      bool handled = true;
      LRESULT result = OnSysCommand(msg, wParam, lParam, handled);
      if (handled) return result;
      break;
    }
    case WM_KEYDOWN:
      manager_->OnKeyDown(wParam);
      return 0;
    case WM_CHAR:
      manager_->OnChar(static_cast<wchar_t>(wParam));
      return 0;
    default:
      break;
  }
  bool handled = false;
  return HandleCustomMessage(msg, wParam, lParam, handled);
}

LRESULT SkinWindowBase::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
  (void)msg;
  (void)wParam;
  (void)lParam;
  handled = false;
  return 0;
}

LRESULT SkinWindowBase::OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
  (void)msg;
  (void)lParam;
  handled = true;
  switch (wParam & 0xFFF0) {
    case SC_MINIMIZE:
      Minimize();
      break;
    case SC_MAXIMIZE:
      Maximize();
      break;
    case SC_RESTORE:
      Restore();
      break;
    case SC_CLOSE:
      // The window-manager close: WM_CLOSE with wParam 0, through the
      // window's own handling (which may refuse it).
      SendMessage(WM_CLOSE, 0, 0);
      break;
    default:
      handled = false;
  }
  return 0;
}

LRESULT SkinWindowBase::MessageFilter(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
  (void)msg;
  (void)wParam;
  (void)lParam;
  handled = false;
  return 0;
}

std::unique_ptr<Control> SkinWindowBase::CreateControl(const std::wstring& tag) {
  (void)tag;
  return nullptr;
}

// --- Life cycle --------------------------------------------------------------

bool SkinWindowBase::BuildTree() {
  std::string error;
  switch (kind_) {
    case ResourceKind::kArchiveResource:
      resources_ = SkinArchive::FromResource(resourceId_, &error);
      break;
    case ResourceKind::kArchiveFile:
      resources_ = SkinArchive::OpenFile(ResolveFolder(skinFolder_), &error);
      break;
    case ResourceKind::kFile:
    default:
      resources_ = SkinArchive::OpenFolder(ResolveFolder(skinFolder_));
      break;
  }
  if (!resources_) {
    QLOG(L"skin resources missing for %ls: %s\r\n", skinFile_.c_str(), error.c_str());
    return false;
  }
  manager_->SetResources(resources_);
  std::wstring resourcePath =
      Utils::MultiByteToWide(ResolveFolder(skinFolder_), Utils::kCodePageUtf8);
  if (kind_ == ResourceKind::kArchiveFile) {
    size_t slash = resourcePath.rfind(L'/');
    if (slash != std::wstring::npos) resourcePath.resize(slash);
  }
  manager_->SetResourcePath(resourcePath + L"/");
  const std::string* xml = resources_->Find(skinFile_);
  if (!xml) {
    QLOG(L"layout %ls not found\r\n", skinFile_.c_str());
    return false;
  }
  auto root = LayoutBuilder::Build(
      *xml, *manager_, [this](const std::wstring& tag) { return CreateControl(tag); }, &error);
  if (!root) {
    QLOG(L"layout %ls not built: %s\r\n", skinFile_.c_str(), error.c_str());
    return false;
  }
  manager_->AttachRoot(std::move(root));
  manager_->AddNotifier(this);
  return true;
}

bool SkinWindowBase::Create(SkinWindowBase* parent, const std::wstring& title, uint32_t style,
                            uint32_t exStyle) {
  if (!Toolkit::IsInitialized() || alive_ || queue_->IsClosed()) return false;
  owner_ = parent;
  title_ = title;
  style_ = style;
  exStyle_ = exStyle;
  if (!BuildTree()) return false;
  Size size = manager_->GetWindowAttributes().size;
  if (size.cx <= 0 || size.cy <= 0) size = {400, 300};
  manager_->SetClientSize(size);
  native_ = CreateNativeWindow(this, parent, size, title);
  if (!native_) return false;
  manager_->onInvalidate = [this](const Rect& rect) {
    if (native_) native_->Invalidate(rect);
  };
  manager_->onLayout = [this] { SyncNativeChildren(); };
  ForEachEdit(manager_->GetRoot(),
              [this](Edit* edit) { edit->SetPeer(native_->CreateEditPeer(edit)); });
  alive_ = true;
  InitWindow();
  if (alive_ && (style_ & WS_VISIBLE)) ShowWindow(true);
  return alive_;
}

bool SkinWindowBase::IsWindow() const { return alive_; }

void SkinWindowBase::ShowWindow(bool show) {
  if (!alive_) return;
  if (show) {
    style_ |= WS_VISIBLE;
  } else {
    style_ &= ~WS_VISIBLE;
  }
  native_->Show(show);
}

void SkinWindowBase::CenterWindow() {
  if (!alive_) return;
  Rect self = native_->GetRect();
  Rect area = native_->WorkArea();
  Rect over = area;
  if (owner_ && owner_->IsWindow() && !owner_->IsMinimized()) over = owner_->GetWindowRect();
  int x = over.left + (over.Width() - self.Width()) / 2;
  int y = over.top + (over.Height() - self.Height()) / 2;
  if (x < area.left) {
    x = area.left;
  } else if (x + self.Width() > area.right) {
    x = area.right - self.Width();
  }
  if (y < area.top) {
    y = area.top;
  } else if (y + self.Height() > area.bottom) {
    y = area.bottom - self.Height();
  }
  native_->Move(x, y);
}

UINT SkinWindowBase::ShowModal() {
  if (!alive_) return static_cast<UINT>(-1);
  ShowWindow(true);
  SkinWindowBase* owner = owner_ && owner_->IsWindow() ? owner_ : nullptr;
  if (owner) {
    owner->EnableWindow(false);
    native_->SetModal(true);
  }
  GMainLoop* loop = g_main_loop_new(g_main_context_default(), FALSE);
  modalLoop_ = loop;
  std::function<void(SkinWindowBase&)> hook;
  {
    std::lock_guard<std::mutex> lock(HookMutex());
    if (!ModalHooks().empty()) {
      hook = std::move(ModalHooks().front());
      ModalHooks().pop_front();
    }
  }
  if (hook) queue_->Post([this, hook] { hook(*this); });
  if (alive_) g_main_loop_run(loop);
  modalLoop_ = nullptr;
  g_main_loop_unref(loop);
  if (owner && owner->IsWindow()) {
    owner->EnableWindow(true);
    owner->BringToFront();
  }
  return modalResult_;
}

void SkinWindowBase::Close(UINT result) { PostMessage(WM_CLOSE, result, 0); }

void SkinWindowBase::DestroyWindow() {
  if (!alive_) return;
  HandleMessage(WM_DESTROY, 0, 0);
  alive_ = false;
  for (auto& [id, sourceId] : windowTimers_) {
    if (GSource* s = g_main_context_find_source_by_id(g_main_context_default(), sourceId)) {
      g_source_destroy(s);
    }
  }
  windowTimers_.clear();
  manager_->Shutdown();
  queue_->Close();
  manager_->onInvalidate = nullptr;
  manager_->onLayout = nullptr;
  ForEachEdit(manager_->GetRoot(), [](Edit* edit) { edit->SetPeer(nullptr); });
  native_.reset();
  if (modalLoop_) g_main_loop_quit(static_cast<GMainLoop*>(modalLoop_));
}

void SkinWindowBase::HostDestroyed() {
  // The native window went away under us (display closed): end like a close.
  if (alive_) DestroyWindow();
}

// --- Messages and timers -----------------------------------------------------

bool SkinWindowBase::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!alive_) return false;
  return queue_->Post([this, msg, wParam, lParam] { DispatchPosted(msg, wParam, lParam); });
}

void SkinWindowBase::DispatchPosted(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!alive_) return;
  HandleMessage(msg, wParam, lParam);
}

LRESULT SkinWindowBase::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  return HandleMessage(msg, wParam, lParam);
}

int SkinWindowBase::OnWindowTimer(void* data) {
  auto t = *static_cast<WindowTimerData*>(data);
  if (t.window->alive_) t.window->HandleMessage(WM_TIMER, t.id, 0);
  return G_SOURCE_CONTINUE;
}

bool SkinWindowBase::SetTimer(UINT id, UINT elapseMs) {
  if (!alive_) return false;
  KillTimer(id);
  GSource* source = g_timeout_source_new(elapseMs);
  g_source_set_callback(source, reinterpret_cast<GSourceFunc>(&SkinWindowBase::OnWindowTimer),
                        new WindowTimerData{this, id},
                        [](gpointer data) { delete static_cast<WindowTimerData*>(data); });
  windowTimers_[id] = g_source_attach(source, g_main_context_default());
  g_source_unref(source);
  return true;
}

void SkinWindowBase::KillTimer(UINT id) {
  auto it = windowTimers_.find(id);
  if (it == windowTimers_.end()) return;
  if (GSource* s = g_main_context_find_source_by_id(g_main_context_default(), it->second)) {
    g_source_destroy(s);
  }
  windowTimers_.erase(it);
}

// --- Window state ------------------------------------------------------------

bool SkinWindowBase::SetIcon(UINT resourceId) {
  if (!alive_) return false;
  std::span<const uint8_t> png = FindResource(kIconResourceType, static_cast<int>(resourceId));
  if (png.empty()) return false;
  return native_->SetIconPng(png);
}

Rect SkinWindowBase::GetWindowRect() const { return alive_ ? native_->GetRect() : Rect{}; }

void SkinWindowBase::MoveWindow(int x, int y) {
  if (alive_) native_->Move(x, y);
}

void SkinWindowBase::Minimize() {
  if (alive_) native_->Minimize();
}

void SkinWindowBase::Maximize() {
  if (alive_) native_->Maximize();
}

void SkinWindowBase::Restore() {
  if (alive_) native_->Restore();
}

bool SkinWindowBase::IsMinimized() const { return alive_ && native_->IsMinimized(); }

void SkinWindowBase::EnableWindow(bool enable) {
  enabled_ = enable;
  manager_->SetInputEnabled(enable);
}

void SkinWindowBase::BringToFront() {
  if (alive_) native_->Raise();
}

std::optional<std::wstring> SkinWindowBase::BrowseForFolder(const std::wstring& title) {
  if (!alive_) return std::nullopt;
  return native_->PickFolder(title);
}

// --- Rendering ---------------------------------------------------------------

CairoSurfacePtr SkinWindowBase::RenderToSurface() {
  CairoSurfacePtr none(nullptr, cairo_surface_destroy);
  if (!manager_->GetRoot()) return none;
  Size size = manager_->GetClientSize();
  if (size.cx <= 0 || size.cy <= 0) return none;
  CairoSurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size.cx, size.cy),
                          cairo_surface_destroy);
  cairo_t* cr = cairo_create(surface.get());
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  manager_->Paint(cr, {0, 0, size.cx, size.cy});
  cairo_destroy(cr);
  cairo_surface_flush(surface.get());
  return surface;
}

bool SkinWindowBase::SavePng(const std::string& path) {
  CairoSurfacePtr surface = RenderToSurface();
  if (!surface) return false;
  return cairo_surface_write_to_png(surface.get(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

void SkinWindowBase::HostSetShadow(const CShadowWnd* shadow) {
  if (alive_) native_->SetShadow(shadow, manager_->GetWindowAttributes().roundCorner);
}

void SkinWindowBase::HostPaint(cairo_t* cr, const Rect& dirty) { manager_->Paint(cr, dirty); }

void SkinWindowBase::SyncNativeChildren() {
  if (!native_) return;
  ForEachEdit(manager_->GetRoot(), [](Edit* edit) {
    if (EditPeer* peer = edit->GetPeer()) {
      peer->Place(edit->GetPos(), edit->IsReallyVisible(), edit->IsEnabled());
    }
  });
}

// --- Input from the host -----------------------------------------------------

void SkinWindowBase::HostMouseMove(Point pt) {
  if (alive_ && enabled_) manager_->OnMouseMove(pt);
}

void SkinWindowBase::HostMouseLeave() {
  if (alive_) manager_->OnMouseLeave();
}

void SkinWindowBase::HostButtonDown(Point pt) {
  if (!alive_ || !enabled_) return;
  manager_->UpdateLayout();
  const WindowAttributes& wa = manager_->GetWindowAttributes();
  Size client = manager_->GetClientSize();
  bool inCaption = pt.x >= wa.caption.left && pt.x < client.cx - wa.caption.right &&
                   pt.y >= wa.caption.top && pt.y < wa.caption.bottom;
  if (inCaption) {
    Control* hit = manager_->FindControlAt(pt);
    if (!hit || !hit->IsInteractive() || !hit->IsEnabled()) {
      native_->BeginMoveDrag(pt);
      return;
    }
  }
  manager_->OnButtonDown(pt);
}

void SkinWindowBase::HostButtonUp(Point pt) {
  if (alive_) manager_->OnButtonUp(pt);
}

void SkinWindowBase::HostKeyDown(WPARAM vk) {
  if (!alive_) return;
  bool handled = false;
  MessageFilter(WM_KEYDOWN, vk, 0, handled);
  if (handled || !enabled_) return;
  HandleMessage(WM_KEYDOWN, vk, 0);
}

void SkinWindowBase::HostChar(wchar_t ch) {
  if (!alive_ || !enabled_) return;
  bool handled = false;
  MessageFilter(WM_CHAR, static_cast<WPARAM>(ch), 0, handled);
  if (handled) return;
  HandleMessage(WM_CHAR, static_cast<WPARAM>(ch), 0);
}

void SkinWindowBase::HostCloseRequest() {
  if (alive_ && enabled_) PostMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
}

// --- Test hooks --------------------------------------------------------------

bool SkinWindowBase::ClickControlForTesting(const std::wstring& name) {
  if (!alive_ || !enabled_) return false;
  Control* control = FindControl(name);
  if (!control || !control->IsReallyVisible()) return false;
  manager_->UpdateLayout();
  Point pt = control->GetPos().Center();
  if (manager_->FindControlAt(pt) != control) return false;
  HostMouseMove(pt);
  HostButtonDown(pt);
  HostButtonUp(pt);
  return true;
}

void SkinWindowBase::PressKeyForTesting(WPARAM vk) { HostKeyDown(vk); }

bool SkinWindowBase::TypeTextForTesting(const std::wstring& text) {
  auto* edit = dynamic_cast<Edit*>(manager_->GetFocus());
  if (!alive_ || !edit) return false;
  edit->SetText(text);
  manager_->SendNotify(edit, L"textchanged");
  return true;
}

void SkinWindowBase::RequestCloseForTesting() { HostCloseRequest(); }

void SkinWindowBase::PushModalHookForTesting(std::function<void(SkinWindowBase&)> hook) {
  std::lock_guard<std::mutex> lock(HookMutex());
  ModalHooks().push_back(std::move(hook));
}

void SkinWindowBase::AnswerNextPromptForTesting(const std::wstring& controlName) {
  PushModalHookForTesting([controlName](SkinWindowBase& window) {
    if (!window.ClickControlForTesting(controlName)) {
      QLOG(L"prompt answer %ls not clickable\r\n", controlName.c_str());
    }
  });
}

void SkinWindowBase::ClearModalHooksForTesting() {
  std::lock_guard<std::mutex> lock(HookMutex());
  ModalHooks().clear();
}

}  // namespace qui
