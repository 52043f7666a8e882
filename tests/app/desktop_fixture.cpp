#include "app/desktop_fixture.h"

#include <stdlib.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/kitbinder_app.h"
#include "app/main_frame.h"
#include "ui/kitbinder_doc.h"
#include "ui/kitbinder_view.h"

namespace kb::test {

QStringList ScriptedFileDialogs::Next() {
  if (answers_.empty()) {
    ++unanswered;
    return {};
  }
  QStringList answer = answers_.front();
  answers_.pop_front();
  return answer;
}

QString ScriptedFileDialogs::GetOpenFileName(QWidget*, const QString& title, const QString& filter,
                                             const QString& folder) {
  titles.push_back(title);
  filters.push_back(filter);
  folders.push_back(folder);
  const QStringList answer = Next();
  return answer.isEmpty() ? QString() : answer.first();
}

QString ScriptedFileDialogs::GetExistingFolder(QWidget*, const QString& title,
                                               const QString& folder) {
  titles.push_back(title);
  folders.push_back(folder);
  const QStringList answer = Next();
  return answer.isEmpty() ? QString() : answer.first();
}

QStringList ScriptedFileDialogs::GetOpenFileNames(QWidget*, const QString& title,
                                                  const QString& filter, const QString& folder) {
  titles.push_back(title);
  filters.push_back(filter);
  folders.push_back(folder);
  return Next();
}

QString ScriptedFileDialogs::GetSaveFileName(QWidget*, const QString& title, const QString& filter,
                                             const QString& proposed_name) {
  titles.push_back(title);
  filters.push_back(filter);
  proposed.push_back(proposed_name);
  const QStringList answer = Next();
  return answer.isEmpty() ? QString() : answer.first();
}

MessageBoxAnswers::MessageBoxAnswers() {
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
  timer_.start(10);
}

void MessageBoxAnswers::Poll() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (!box || !box->isVisible()) continue;
    texts.push_back(box->text());
    icons.push_back(box->icon());
    QAbstractButton* button = box->escapeButton();
    if (!answers_.empty()) {
      button = box->button(answers_.front());
      answers_.pop_front();
    }
    if (!button) button = box->buttons().value(0);
    button->click();
    return;
  }
}

DesktopTest::DesktopTest() {
  ::setenv("XDG_CONFIG_HOME", settings_home.path().c_str(), 1);
  // QSettings reads XDG_CONFIG_HOME once per process; tests that share one need telling.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                     QString::fromStdString(settings_home.path().string()));
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

DesktopTest::~DesktopTest() {
  boxes.reset();
  app_.reset();
}

bool DesktopTest::Start(const QStringList& arguments) {
  argument_storage_ = {"kitbinder"};
  for (const QString& argument : arguments) argument_storage_.push_back(argument.toStdString());
  for (std::string& argument : argument_storage_) argv_.push_back(argument.data());
  argv_.push_back(nullptr);
  argc_ = static_cast<int>(argument_storage_.size());
  app_ = std::make_unique<CKitbinderApp>(argc_, argv_.data());
  boxes = std::make_unique<MessageBoxAnswers>();
  if (!app_->InitInstance()) return false;
  // Shortcuts reach the active window only.
  QApplication::setActiveWindow(&frame());
  return QTest::qWaitForWindowActive(&frame());
}

CMainFrame& DesktopTest::frame() const {
  return app_->Frame();
}

CKitbinderView& DesktopTest::view() const {
  return app_->View();
}

CKitbinderDoc& DesktopTest::doc() const {
  return app_->Document();
}

void DesktopTest::Choose(int id) const {
  QAction* action = frame().Command(id);
  ASSERT_NE(action, nullptr) << "no menu item for command " << id;
  ASSERT_TRUE(action->isEnabled());
  action->trigger();
}

void DesktopTest::Press(const QKeySequence& keys) const {
  // As the user's click would: a closed message box does not always hand activation back.
  QApplication::setActiveWindow(&frame());
  QTest::keySequence(&frame(), keys);
}

void DesktopTest::Type(QWidget* box, const QString& text) {
  box->setFocus();
  if (auto* line = qobject_cast<QLineEdit*>(box)) line->selectAll();
  QTest::keyClick(box, Qt::Key_Delete);
  QTest::keyClicks(box, text);
}

void DesktopTest::ClickTab(int index) const {
  QTabBar* bar = view().tabStrip->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}

std::string DesktopTest::WriteFile(const std::string& name, const std::string& contents) const {
  const std::filesystem::path path = folder.path() / name;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << contents;
  return path.string();
}

}  // namespace kb::test
