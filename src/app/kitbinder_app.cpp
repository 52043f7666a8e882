#include "app/kitbinder_app.h"

#include <QDesktopServices>
#include <QStringList>
#include <QUrl>
#include <cstdio>
#include <string_view>

#include "app/about_dlg.h"
#include "app/app_strings.h"
#include "app/main_frame.h"
#include "framework/message_box.h"
#include "framework/standard_ids.h"
#include "platform/program_directory.h"
#include "ui/kitbinder_doc.h"
#include "ui/kitbinder_view.h"

// The images are compiled into the static library kb_desktop, whose resource table the linker
// would otherwise leave out.
static void LoadResources() {
  Q_INIT_RESOURCE(kitbinder);
}

namespace kb {
namespace {

constexpr char kUsage[] =
    "Usage: kitbinder [PROJECT.kbr]\n"
    "Edits a kitbinder project and builds its Windows Installer package (.msi).\n"
    "Without a project, starts a new one.\n\n"
    "  --help      show this text\n"
    "  --version   show the program's version\n";

}  // namespace

CKitbinderApp::CKitbinderApp(int& argc, char** argv) : CWinApp(argc, argv, kAppTitle) {
  LoadResources();
  QApplication::setApplicationVersion(kVersion);
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/48/kitbinder.png")));
  QApplication::setDesktopFileName(QStringLiteral("kitbinder"));
}

std::optional<int> CKitbinderApp::AnswerInformationRequest(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (argument == "--version") {
      std::printf("%s\n", kVersionLine);
      return 0;
    }
  }
  return std::nullopt;
}

bool CKitbinderApp::InitInstance() {
  SetRegistryKey(kAppTitle);
  LoadStdProfileSettings(CMainFrame::kRecentFileCount);
  AddDocTemplate(std::make_unique<CSingleDocTemplate>(
      kDocTemplateString, std::make_unique<CKitbinderDoc>(), std::make_unique<CMainFrame>(),
      [](QWidget* parent) { return new CKitbinderView(parent); }));
  // The file type is registered by the desktop entry and the shared MIME type that the
  // installation puts in place, not at every start.
  if (!ProcessShellCommand()) return false;
  MainWnd().show();
  return true;
}

bool CKitbinderApp::ProcessShellCommand() {
  const QStringList arguments = QApplication::arguments().mid(1);
  if (arguments.size() > 1 || (arguments.size() == 1 && arguments[0].startsWith('-'))) {
    std::fputs(kUsage, stderr);
    EndStartup(2);
    return false;
  }
  if (arguments.isEmpty()) {
    OnFileNew();
    return true;
  }
  return OpenDocumentFile(arguments[0]) == CSingleDocTemplate::OpenResult::kOpened;
}

void CKitbinderApp::WinHelp() {
  const QString page = QString::fromStdString(platform::ProgramDataFile(kHelpFileName));
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page))) {
    AfxMessageBox(QStringLiteral("No program on this desktop opens the help page.\n"
                                 "Open %1 in a web browser.")
                      .arg(page),
                  &MainWnd());
  }
}

bool CKitbinderApp::OnCmdMsg(int id) {
  if (id == ID_APP_ABOUT) {
    CAboutDlg about(&MainWnd());
    about.DoModal();
    return true;
  }
  return CWinApp::OnCmdMsg(id);
}

CMainFrame& CKitbinderApp::Frame() const {
  return static_cast<CMainFrame&>(MainWnd());
}

CKitbinderDoc& CKitbinderApp::Document() const {
  return static_cast<CKitbinderDoc&>(DocTemplate().document());
}

CKitbinderView& CKitbinderApp::View() const {
  return static_cast<CKitbinderView&>(DocTemplate().view());
}

}  // namespace kb
