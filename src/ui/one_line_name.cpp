#include "ui/one_line_name.h"

#include "framework/dialog_folders.h"
#include "framework/file_dialogs.h"
#include "framework/message_box.h"

namespace kb {

bool AcceptOneLineName(const QString& name, QWidget* owner) {
  if (!name.contains(QLatin1Char('\n')) && !name.contains(QLatin1Char('\r'))) return true;
  // Each line break shows as a return symbol, so the box names the file on one line.
  QString shown = name;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\u21B5"))
      .replace(QLatin1Char('\r'), QChar(0x21B5))
      .replace(QLatin1Char('\n'), QChar(0x21B5));
  AfxMessageBox(QStringLiteral("Cannot use \"%1\".\nIts name holds a line break, which a "
                               "project file cannot keep.")
                    .arg(shown),
                owner);
  return false;
}

QString ChooseOneLineFile(QWidget* owner, const QString& title, const QString& filter,
                          const std::string& start_folder) {
  const QString folder =
      FirstFolder({QString::fromStdString(start_folder), LastDialogFolder(kFilesFolder)});
  const QString chosen = TheFileDialogs().GetOpenFileName(owner, title, filter, folder);
  if (chosen.isEmpty() || !AcceptOneLineName(chosen, owner)) return {};
  RememberDialogFolder(kFilesFolder, chosen);
  return chosen;
}

}  // namespace kb
