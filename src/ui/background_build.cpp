#include "ui/background_build.h"

#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <stop_token>
#include <thread>

#include "framework/frame_window.h"
#include "framework/message_box.h"
#include "framework/utf8_text.h"
#include "ui/build_progress_dlg.h"

namespace kb {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A build that ends sooner shows no dialog, only the wait cursor.
constexpr milliseconds kShowDialogAfter{300};
// Often enough to look smooth, rarely enough to cost the build nothing.
constexpr milliseconds kReportInterval{50};

// Holds the main window in its modal state for its own life: no dropped project, and
// `close_requested` instead of a close.
class ModalState {
 public:
  ModalState(QWidget* window, std::function<void()> close_requested)
      : frame_(dynamic_cast<CFrameWnd*>(window)) {
    if (frame_) frame_->BeginModalState(std::move(close_requested));
  }
  ~ModalState() {
    if (frame_) frame_->EndModalState();
  }
  ModalState(const ModalState&) = delete;
  ModalState& operator=(const ModalState&) = delete;

 private:
  CFrameWnd* frame_;
};

// Lets a report through at most once per kReportInterval. Used by one thread.
class ReportThrottle {
 public:
  bool Due() {
    const steady_clock::time_point now = steady_clock::now();
    if (now - last_ < kReportInterval) return false;
    last_ = now;
    return true;
  }

 private:
  steady_clock::time_point last_{};
};

int PercentDone(const cabinet::CabinetProgress& progress) {
  if (progress.bytes_total > 0) {
    return static_cast<int>(
        std::min<std::int64_t>(100, progress.bytes_done * 100 / progress.bytes_total));
  }
  return progress.entry_count == 0 ? 0
                                   : static_cast<int>(progress.entry * 100 / progress.entry_count);
}

}  // namespace

BackgroundBuild BuildInBackground(CProjectSettings& settings, const std::string& project_folder,
                                  QWidget* owner, PackageOptions package_options) {
  QWidget* window = owner->window();
  std::stop_source stop;
  package_options.stop = stop.get_token();
  const QString package_name = QString::fromStdString(settings.title + ".msi");
  CBuildProgressDlg dialog(package_name, window, [&stop] { stop.request_stop(); });
  BackgroundBuild result;
  const ModalState modal(window, [&] {
    // Shown first, so that the question comes over it rather than under it when it would show.
    dialog.show();
    if (!AskYesNo(QStringLiteral("%1 is being built.\nCancel the build and close the window?")
                      .arg(package_name),
                  &dialog)) {
      return;
    }
    result.close_requested = true;
    dialog.reject();
  });
  QEventLoop loop;
  QTimer::singleShot(kShowDialogAfter, &dialog, [&dialog, &loop] {
    dialog.show();
    loop.quit();  // to let user input through from now on
  });

  // Reports reach the dialog as events of this thread; those still queued when the dialog
  // goes are dropped with it.
  ReportThrottle throttle;
  const auto report = [&dialog, &throttle](const cabinet::CabinetProgress& progress) {
    if (!throttle.Due()) return;
    QMetaObject::invokeMethod(
        &dialog,
        [&dialog, file = FromUtf8(progress.source), number = static_cast<int>(progress.entry + 1),
         count = static_cast<int>(progress.entry_count),
         percent = PercentDone(progress)] { dialog.ShowProgress(file, number, count, percent); },
        Qt::QueuedConnection);
  };

  std::atomic<bool> finished = false;
  std::thread worker([&, project_folder] {
    // Nothing may escape the thread: an exception there would end the program. BuildPackage
    // contains its own; what remains is the copy of the observer made for it.
    try {
      result.outcome =
          BuildPackage(settings, project_folder,
                       {.observer = {.entry_starting = report, .block_compressed = report}},
                       std::move(package_options));
    } catch (...) {
      result.outcome = EscapedExceptionOutcome();
    }
    // Set before the quit is posted: a loop started after this reads true never waits for it.
    finished = true;
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  if (!finished) loop.exec();
  worker.join();
  return result;
}

}  // namespace kb
