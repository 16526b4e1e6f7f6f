// UI figures: full repaint of the main window, one tick of the progress
// animation, opening the skin archive from memory, and the bytes the skin
// adds to an executable. Each time is a median, printed with its target and
// with a peer measured in the same run (a plain Cairo copy of one 600x400
// picture), so figures from different machines can be compared as ratios.
//   ui_bench [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

#include "skin/embedded_skin.h"
#include "ui/resources.h"
#include "ui/sequence_controls.h"
#include "ui/skin_archive.h"
#include "ui/skin_frame.h"
#include "ui/toolkit.h"

namespace {

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Median wall time of `work`; `cpuMs` (when given) receives the median CPU
// time of this thread, which a busy machine disturbs less.
double MedianMs(int runs, const std::function<void()>& work, double* cpuMs = nullptr) {
  std::vector<double> times, cpu;
  times.reserve(runs);
  cpu.reserve(runs);
  for (int i = 0; i < runs; ++i) {
    double cpuStart = ThreadCpuMs();
    auto start = std::chrono::steady_clock::now();
    work();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
    cpu.push_back(ThreadCpuMs() - cpuStart);
  }
  std::sort(times.begin(), times.end());
  std::sort(cpu.begin(), cpu.end());
  if (cpuMs) *cpuMs = cpu[cpu.size() / 2];
  return times[times.size() / 2];
}

class BenchWnd : public qui::CSkinFrame {
 public:
  BenchWnd()
      : CSkinFrame(qui::ResourceKind::kArchiveResource, qui::kSkinResourceId, L"", L"MainWnd.xml",
                   L"MainWnd") {}
  std::unique_ptr<qui::Control> CreateControl(const std::wstring& tag) override {
    if (qui::EqualsNoCase(tag, L"SequenceLabel")) return std::make_unique<qui::CSequenceLabelUI>();
    return nullptr;
  }
};

void Report(const char* name, double ms, double targetMs, double peerMs) {
  std::printf("%-34s median %8.3f ms  target <= %6.1f ms (%5.1f%% of target)  peer x%.1f\n", name,
              ms, targetMs, 100.0 * ms / targetMs, peerMs > 0 ? ms / peerMs : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(5, std::atoi(argv[1])) : 200;
  if (!qui::Toolkit::Initialize(qui::HostKind::kHeadless)) return 1;
  skin::RegisterEmbeddedSkin();
  BenchWnd wnd;
  if (!wnd.Create(nullptr, L"bench", 0)) return 1;
  qui::PaintManager& pm = wnd.GetPaintManager();
  cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 600, 400);
  cairo_t* cr = cairo_create(target);

  // Peer: copy one decoded 600x400 picture.
  cairo_surface_t* bg = pm.GetImage(L"res\\mainWnd\\bg1.png");
  double peer = MedianMs(runs, [&] {
    cairo_set_source_surface(cr, bg, 0, 0);
    cairo_paint(cr);
  });

  pm.Paint(cr, {0, 0, 600, 400});  // warm the image cache and fonts
  double repaint = MedianMs(runs, [&] { pm.Paint(cr, {0, 0, 600, 400}); });

  auto* tabs = wnd.FindControlAs<qui::TabLayout>(L"mainTabLt");
  tabs->SelectItem(2, false);
  auto* anim = wnd.FindControlAs<qui::CSequenceLabelUI>(L"progressAnLb");
  pm.UpdateLayout();
  qui::EventArgs tick;
  tick.type = qui::EventType::kTimer;
  tick.wParam = qui::kAnimationTimerId;
  for (int i = 0; i < 60; ++i) anim->DoEvent(tick);  // every frame decoded once
  double tickMs = MedianMs(runs, [&] {
    anim->DoEvent(tick);
    pm.Paint(cr, anim->GetPos());
  });

  auto bytes = qui::FindResource(qui::kSkinResourceType, qui::kSkinResourceId);
  double openCpu = 0;
  double open = MedianMs(
      std::max(5, runs / 10),
      [&] {
        auto archive = qui::SkinArchive::OpenFromMemory(bytes.data(), bytes.size());
        if (!archive) std::abort();
      },
      &openCpu);

  Report("full repaint of the main window", repaint, 5.0, peer);
  Report("one tick of progressAnLb", tickMs, 1.0, peer);
  Report("open the skin archive from memory", open, 50.0, peer);
  std::printf("%-34s median %8.3f ms of CPU time\n", "  (same, this thread's CPU)", openCpu);
  size_t skinBytes = skin::EmbeddedArchiveSize() + skin::EmbeddedIconSize();
  std::printf("%-34s %8zu bytes target <= %d bytes (%5.1f%% of target)\n",
              "skin added to the executable", skinBytes, 2 * 1024 * 1024,
              100.0 * skinBytes / (2 * 1024 * 1024));
  cairo_destroy(cr);
  cairo_surface_destroy(target);
  return 0;
}
