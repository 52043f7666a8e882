// Times Package ▸ Build in the desktop program and counts how often its windows repainted
// meanwhile; bench_desktop_vs_cli runs it beside kitbinder-cli build. A 10 ms timer measures the
// longest time the user-interface thread went without handling events, which is how long the
// windows could have looked frozen (a window moved over them waits that long for its repaint).
//
//   desktop_build_probe PROJECT.kbr
//
// Starts the program (offscreen unless QT_QPA_PLATFORM says otherwise) with the project, chooses
// Package ▸ Build and answers the message at the end. Standard output carries the cabinet's
// progress lines, as kitbinder-cli's does; standard error, among Qt's notes, the line
// "figures: SECONDS MAIN DIALOG GAP" (the seconds from the command to the message, the repaints
// of the main window's and of the progress dialog's widgets, and the longest time in
// milliseconds between two ticks of the timer) and the line "message: " + the message. The
// exit status is 0 when the message was "MSI Creation complete".
#include <stdlib.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "app/kitbinder_app.h"
#include "app/main_frame.h"
#include "package/build_command.h"
#include "ui/build_progress_dlg.h"
#include "ui/command_ids.h"

namespace {

constexpr int kTickMs = 10;

// Watches every widget's events: repaints of the main window and of the progress dialog, and
// the moment the final message shows; and how regularly the event loop runs.
class BuildWatcher : public QObject {
 public:
  BuildWatcher(QWidget* main_window, const QElapsedTimer& clock)
      : main_window_(main_window), clock_(clock) {
    qApp->installEventFilter(this);
    QObject::connect(&ticks_, &QTimer::timeout, [this] { Tick(); });
    ticks_.start(kTickMs);
  }

  bool eventFilter(QObject* object, QEvent* event) override {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) return false;
    if (event->type() == QEvent::Paint) CountPaint(*widget);
    if (event->type() == QEvent::Show && message_seconds < 0) {
      if (auto* box = qobject_cast<QMessageBox*>(widget)) {
        message_seconds = static_cast<double>(clock_.nsecsElapsed()) / 1e9;
        message = box->text();
        ticks_.stop();
        QTimer::singleShot(0, box, &QMessageBox::accept);
      }
    }
    return false;
  }

  int main_window_paints = 0;
  int dialog_paints = 0;
  qint64 longest_stall_ms = 0;
  double message_seconds = -1;
  QString message;

 private:
  void CountPaint(const QWidget& widget) {
    if (message_seconds >= 0) return;
    if (widget.window() == main_window_) ++main_window_paints;
    if (dynamic_cast<const kb::CBuildProgressDlg*>(widget.window())) ++dialog_paints;
  }

  void Tick() {
    const qint64 now = clock_.elapsed();
    longest_stall_ms = std::max(longest_stall_ms, now - last_tick_ms_);
    last_tick_ms_ = now;
  }

  QWidget* main_window_;
  const QElapsedTimer& clock_;
  QTimer ticks_;
  qint64 last_tick_ms_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: desktop_build_probe PROJECT.kbr\n");
    return 2;
  }
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  kb::CKitbinderApp app(argc, argv);
  if (!app.InitInstance()) return 2;
  QElapsedTimer clock;
  BuildWatcher watcher(&app.Frame(), clock);
  clock.start();
  app.Frame().Command(kb::ID_PACKAGE_BUILD)->trigger();
  std::fprintf(stderr, "figures: %.3f %d %d %lld\nmessage: %s\n", watcher.message_seconds,
               watcher.main_window_paints, watcher.dialog_paints,
               static_cast<long long>(watcher.longest_stall_ms),
               watcher.message.toUtf8().constData());
  const QString complete = QString::fromUtf8(
      kb::kBuildCompleteMessage.data(), static_cast<qsizetype>(kb::kBuildCompleteMessage.size()));
  return watcher.message == complete ? 0 : 1;
}
