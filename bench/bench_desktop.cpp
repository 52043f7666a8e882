// Times the desktop program where its user would wait: start-up to the first painted window,
// then a project of 20,000 files: Open, the first paint after it, the modified check (asked
// before every New, Open and close), Save, turning to a page and back, and New. Two projects:
// one where every tenth file has a shortcut, and one where every file has a shortcut with its
// own icon (the longest icon list a project can have).
// Runs offscreen in this process with settings of its own; each figure is the slowest of three
// rounds, since the slowest is what the user sees. Nothing should take a second.
//
// Run by hand, in a release tree with benchmarks:
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKITBINDER_TESTS=OFF
//         -DKITBINDER_BENCH=ON
//   cmake --build build/bench --target bench_desktop && build/bench/bin/bench_desktop

#include <stdlib.h>
#include <time.h>

#include <QApplication>
#include <QEvent>
#include <QTabWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "app/kitbinder_app.h"
#include "platform/scratch_folder.h"
#include "project/project_settings.h"
#include "ui/file_list_ctrl.h"
#include "ui/kitbinder_doc.h"
#include "ui/kitbinder_view.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFiles = 20000;
constexpr int kRounds = 3;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// How long this process has run, from the kernel's start time (10 ms resolution); -1 when
// the system does not tell.
double MillisecondsSinceProcessStart() {
  std::ifstream stat("/proc/self/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t after_name = text.rfind(')');
  timespec now{};
  if (after_name == std::string::npos || ::clock_gettime(CLOCK_BOOTTIME, &now) != 0) return -1;
  // Field 22, the start time in clock ticks since boot, follows the 19th blank after the
  // name (the name may hold blanks; the fields after it do not).
  std::size_t at = after_name + 1;
  for (int field = 0; field < 19 && at != std::string::npos; ++field) at = text.find(' ', at + 1);
  if (at == std::string::npos) return -1;
  const double start_ticks = std::strtod(text.c_str() + at + 1, nullptr);
  const double now_ms =
      static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
  return now_ms - start_ticks * 1e3 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Notes when a watched widget has been painted.
class PaintWatcher : public QObject {
 public:
  explicit PaintWatcher(QWidget* widget) : widget_(widget) { qApp->installEventFilter(this); }

  // Processes events until the widget has been painted again. Returns false after ten seconds.
  bool WaitForPaint() {
    painted_ = false;
    const Clock::time_point start = Clock::now();
    while (!painted_ && MillisecondsSince(start) < 10000) QApplication::processEvents();
    return painted_;
  }

 protected:
  bool eventFilter(QObject* target, QEvent* event) override {
    if (target == widget_ && event->type() == QEvent::Paint) painted_ = true;
    return false;
  }

 private:
  QWidget* widget_;
  bool painted_ = false;
};

// A project of kFiles files that need not exist: component GUIDs as a build leaves them, and
// a shortcut for one file in `shortcut_every`, each with an icon of its own.
std::string WriteProject(const std::filesystem::path& folder, const std::string& name,
                         int shortcut_every) {
  kb::CProjectSettings project;
  project.title = "Big";
  project.version = "1.0";
  char text[64];
  for (int i = 0; i < kFiles; ++i) {
    kb::ProjectFileEntry entry;
    std::snprintf(text, sizeof text, "files/part%03d/file%05d.dll", i / 100, i);
    entry.path = (folder / text).string();
    std::snprintf(text, sizeof text, "0C8E2B7A-1D3F-4A5B-9C6D-%012d", i);
    entry.componentguid = text;
    if (i % shortcut_every == 0) {
      entry.shortcutname = "Tool " + std::to_string(i);
      std::snprintf(text, sizeof text, "icons/tool%05d.ico", i);
      entry.shortcuticon = (folder / text).string();
      entry.setkdir = true;
      project.AddIcon(entry.shortcuticon);
    }
    project.AddFileEntry(entry);
  }
  const std::string path = (folder / name).string();
  if (!project.Save(path)) {
    std::fprintf(stderr, "cannot write the benchmark project %s\n", path.c_str());
    std::exit(1);
  }
  return path;
}

struct Figures {
  double read = 0, open = 0, paint_after_open = 0, modified_check = 0, save = 0, page_turn = 0,
         renew = 0;
};

double Timed(const std::function<void()>& work) {
  const Clock::time_point start = Clock::now();
  work();
  return MillisecondsSince(start);
}

void KeepSlowest(double& slowest, double figure) {
  slowest = std::max(slowest, figure);
}

Figures TimeProject(kb::CKitbinderApp& app, PaintWatcher& list_paint, const std::string& path) {
  kb::CKitbinderView& view = app.View();
  kb::CKitbinderDoc& doc = app.Document();
  Figures slowest;
  for (int round = 0; round < kRounds; ++round) {
    KeepSlowest(slowest.read, Timed([&] { kb::CProjectSettings().Load(path); }));
    KeepSlowest(slowest.open, Timed([&] { app.OpenDocumentFile(QString::fromStdString(path)); }));
    KeepSlowest(slowest.paint_after_open, Timed([&] { list_paint.WaitForPaint(); }));
    if (view.fileList->RowCount() != kFiles) std::fprintf(stderr, "the list is not full\n");
    bool modified = true;
    KeepSlowest(slowest.modified_check, Timed([&] { modified = doc.IsModified(); }));
    if (modified) std::fprintf(stderr, "an opened project counts as modified\n");
    KeepSlowest(slowest.save, Timed([&] { doc.DoFileSave(); }));
    KeepSlowest(slowest.page_turn, Timed([&] {
                  view.tabStrip->setCurrentIndex(1);
                  QApplication::processEvents();
                  view.tabStrip->setCurrentIndex(0);
                  list_paint.WaitForPaint();
                }));
    KeepSlowest(slowest.renew, Timed([&] {
                  app.OnFileNew();
                  list_paint.WaitForPaint();
                }));
  }
  return slowest;
}

void Print(const char* name, const Figures& figures) {
  std::printf("%s\n", name);
  std::printf("  Open                         %8.1f ms\n", figures.open);
  std::printf("    of which reading the file  %8.1f ms (CProjectSettings::Load alone)\n",
              figures.read);
  std::printf("  first paint after Open       %8.1f ms\n", figures.paint_after_open);
  std::printf("  modified check (IsModified)  %8.1f ms\n", figures.modified_check);
  std::printf("  Save                         %8.1f ms\n", figures.save);
  std::printf("  page turn and back, painted  %8.1f ms\n", figures.page_turn);
  std::printf("  New, painted                 %8.1f ms\n", figures.renew);
}

}  // namespace

int main() {
  const Clock::time_point main_start = Clock::now();
  const double before_main = MillisecondsSinceProcessStart();
  kb::platform::ScratchFolder settings;
  kb::platform::ScratchFolder work;
  ::setenv("XDG_CONFIG_HOME", settings.path().c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);

  // The program as started without a project.
  static int argc = 1;
  static char name[] = "kitbinder";
  static char* argv[] = {name, nullptr};
  kb::CKitbinderApp app(argc, argv);
  if (!app.InitInstance()) return 1;
  PaintWatcher list_paint(app.View().fileList->viewport());
  if (!list_paint.WaitForPaint()) return 1;
  std::printf("start-up to the first paint    %8.1f ms from main(), %.0f ms from process start\n",
              MillisecondsSince(main_start), before_main + MillisecondsSince(main_start));

  std::printf("projects of %d files (paths need not exist); slowest of %d rounds\n", kFiles,
              kRounds);
  Print("every tenth file with a shortcut",
        TimeProject(app, list_paint, WriteProject(work.path(), "tenth.kbr", 10)));
  Print("every file with a shortcut and an icon of its own",
        TimeProject(app, list_paint, WriteProject(work.path(), "every.kbr", 1)));
  return 0;
}
