#ifndef KITBINDER_TESTS_APP_DESKTOP_FIXTURE_H_
#define KITBINDER_TESTS_APP_DESKTOP_FIXTURE_H_

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "framework/file_dialogs.h"
#include "test_support/temp_dir.h"

namespace kb {
class CKitbinderApp;
class CKitbinderDoc;
class CKitbinderView;
class CMainFrame;
}  // namespace kb

// Test failures show Qt texts as text.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace kb::test {

// Answers the program's file dialogs in the user's place: each request takes the next queued
// answer (an empty list cancels). Records every dialog's title, filter and start folder.
class ScriptedFileDialogs : public FileDialogs {
 public:
  ScriptedFileDialogs() { InstallFileDialogs(this); }
  ~ScriptedFileDialogs() override { InstallFileDialogs(nullptr); }

  void Answer(const QStringList& paths) { answers_.push_back(paths); }
  void Answer(const std::string& path) { Answer(QStringList{QString::fromStdString(path)}); }
  void Cancel() { answers_.push_back({}); }

  QString GetOpenFileName(QWidget*, const QString& title, const QString& filter,
                          const QString& folder) override;
  QStringList GetOpenFileNames(QWidget*, const QString& title, const QString& filter,
                               const QString& folder) override;
  QString GetExistingFolder(QWidget*, const QString& title, const QString& folder) override;
  QString GetSaveFileName(QWidget*, const QString& title, const QString& filter,
                          const QString& proposed) override;

  std::vector<QString> titles;    // of every dialog, in the order asked
  std::vector<QString> filters;   // of the dialogs that have one, in the order asked
  std::vector<QString> folders;   // the start folder of each dialog but Save As
  std::vector<QString> proposed;  // what each Save As dialog proposed
  int unanswered = 0;             // requests that found no queued answer (and were cancelled)

 private:
  QStringList Next();
  std::deque<QStringList> answers_;
};

// Answers the program's message boxes as a user would: each box that appears is recorded and
// closed with the next queued button (OK, or the box's escape button, when none is queued).
class MessageBoxAnswers {
 public:
  MessageBoxAnswers();

  void Answer(QMessageBox::StandardButton button) { answers_.push_back(button); }

  std::vector<QString> texts;            // of every box, in order
  std::vector<QMessageBox::Icon> icons;  // of every box, in order

 private:
  void Poll();
  std::deque<QMessageBox::StandardButton> answers_;
  QTimer timer_;
};

// One run of the desktop program inside the test process, offscreen, with its own settings
// (XDG_CONFIG_HOME) and a scratch folder for projects. The program's file dialogs and message
// boxes are answered through `dialogs` and `boxes`.
class DesktopTest : public ::testing::Test {
 protected:
  DesktopTest();
  ~DesktopTest() override;

  // Starts the program as "kitbinder ARGS...". Returns what start-up returned (false ends the
  // program).
  bool Start(const QStringList& arguments = {});

  CKitbinderApp& app() const { return *app_; }
  CMainFrame& frame() const;
  CKitbinderView& view() const;
  CKitbinderDoc& doc() const;

  // Sends command `id` through its menu action, as choosing it in the menu does.
  void Choose(int id) const;
  // Presses `keys` in the main window.
  void Press(const QKeySequence& keys) const;
  // Types `text` into `box` as a user would, replacing what it held.
  static void Type(QWidget* box, const QString& text);
  // Clicks the tab `index` of the form.
  void ClickTab(int index) const;

  // A path in the scratch folder.
  std::string Path(const std::string& name) const { return (folder.path() / name).string(); }
  // Writes `contents` to the scratch file `name`; returns its path.
  std::string WriteFile(const std::string& name, const std::string& contents) const;

  TempDir folder;
  TempDir settings_home;
  ScriptedFileDialogs dialogs;
  std::unique_ptr<MessageBoxAnswers> boxes;

 private:
  std::vector<std::string> argument_storage_;
  std::vector<char*> argv_;
  int argc_ = 0;
  std::unique_ptr<CKitbinderApp> app_;
};

}  // namespace kb::test

#endif  // KITBINDER_TESTS_APP_DESKTOP_FIXTURE_H_
