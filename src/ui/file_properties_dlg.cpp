#include "ui/file_properties_dlg.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "framework/dialog_units.h"
#include "framework/message_box.h"
#include "ui/one_line_name.h"

namespace kb {
namespace {

constexpr int kDialogFontPoints = 8;
constexpr int kDialogWidth = 228;  // dialog units
constexpr int kDialogHeight = 234;

constexpr char kSourceFilter[] = "All Files (*.*)";
constexpr char kIconFilter[] = "Icon Files (*.ico)";

constexpr char kIconHint[] =
    "Enter the label that you would like to appear in the Start Menu for starting this file and "
    "enter or browse to the path of the \"ico\" file that will be shown in the start menu for "
    "this file.";
constexpr char kGuidHint[] = "Component GUID is filled in automatically during the build process.";

// Places controls at their places in dialog units, from the top of the dialog down. The places
// were made for a narrower font than this platform's: a caption that would be cut off gets the
// width it needs, and a wrapping text the height it needs, moving everything below it down.
class TemplateLayout {
 public:
  explicit TemplateLayout(const QFont& font) : units_(font) {}

  // REQUIRES: places are given from the top down.
  void Place(QWidget* control, int x, int y, int width, int height) {
    control->setGeometry(units_.Map(x, y, width, height).translated(0, shift_));
  }

  // A one-line caption: at least as wide as its text.
  void PlaceCaption(QWidget* control, int x, int y, int width, int height) {
    QRect place = units_.Map(x, y, width, height).translated(0, shift_);
    place.setWidth(std::max(place.width(), control->sizeHint().width()));
    control->setGeometry(place);
  }

  // A wrapping text: as tall as its lines at the place's width.
  void PlaceWrapped(QLabel* label, int x, int y, int width, int height) {
    QRect place = units_.Map(x, y, width, height).translated(0, shift_);
    const int needed = label->heightForWidth(place.width());
    if (needed > place.height()) {
      shift_ += needed - place.height();
      place.setHeight(needed);
    }
    label->setGeometry(place);
  }

  // The dialog's size for a template of `width` by `height` dialog units.
  QSize DialogSize(int width, int height) const {
    return units_.Map(0, 0, width, height).size() + QSize(0, shift_);
  }

 private:
  DialogUnits units_;
  int shift_ = 0;  // pixels added above the next place
};

}  // namespace

CFilePropertiesDlg::CFilePropertiesDlg(QWidget* parent) : CDialog(parent) {
  setWindowTitle(QStringLiteral("File Properties"));
  // The template's places suit a compact dialog font, as the form's do.
  QFont dialog_font = font();
  dialog_font.setPointSize(kDialogFontPoints);
  setFont(dialog_font);
  CreateControls();
}

void CFilePropertiesDlg::CreateControls() {
  const auto label = [this](const char* text) { return new QLabel(QString::fromUtf8(text), this); };
  const auto box = [this] { return new QLineEdit(this); };
  const auto button = [this](const char* text) {
    return new QPushButton(QString::fromUtf8(text), this);
  };
  // Created in the template's order, which is also the order the Tab key follows.
  QLabel* source_label = label("File Source");
  sourceBox = box();
  sourceBrowseButton = button("...");
  QLabel* shortcut_label = label("Start Menu Shortcut Label");
  desktopCheck = new QCheckBox(QStringLiteral("Also on the desktop"), this);
  labelBox = box();
  workDirCheck = new QCheckBox(QStringLiteral("WkDir = TgtDir"), this);
  QLabel* icon_label = label("Start Menu Shortcut Icon");
  iconBox = box();
  iconBrowseButton = button("...");
  QLabel* guid_label = label("Component GUID");
  guidBox = box();
  QLabel* target_label = label("Shortcut Target in the Folder");
  targetBox = box();
  targetBrowseButton = button("...");
  QLabel* extensions_label = label("Opens files of type");
  extensionsBox = box();
  QLabel* description_label = label("Description of the type");
  extensionDescriptionBox = box();
  launchCheck = new QCheckBox(QStringLiteral("Offer to start this program when setup exits"), this);
  QLabel* icon_hint = label(kIconHint);
  QLabel* guid_hint = label(kGuidHint);
  okButton = button("OK");
  cancelButton = button("Cancel");
  icon_hint->setWordWrap(true);
  guid_hint->setWordWrap(true);
  okButton->setDefault(true);
  // The "..." buttons are smaller than the style's least button width.
  for (QPushButton* browse : {sourceBrowseButton, iconBrowseButton, targetBrowseButton}) {
    browse->setMinimumSize(0, 0);
  }

  connect(sourceBrowseButton, &QPushButton::clicked, this, [this] { OnBrowseSource(); });
  connect(iconBrowseButton, &QPushButton::clicked, this, [this] { OnBrowseIcon(); });
  connect(targetBrowseButton, &QPushButton::clicked, this, [this] { OnBrowseTarget(); });
  connect(sourceBox, &QLineEdit::textChanged, this,
          [this](const QString& text) { EnableTarget(text); });
  connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

  TemplateLayout layout(font());
  layout.PlaceCaption(source_label, 6, 5, 36, 8);
  layout.Place(sourceBox, 5, 15, 200, 12);
  layout.Place(sourceBrowseButton, 206, 16, 13, 10);
  layout.PlaceCaption(shortcut_label, 5, 30, 145, 10);
  // Beside the label's caption, above the working-folder box: the same shortcut, twice.
  layout.PlaceCaption(desktopCheck, 153, 29, 70, 10);
  layout.Place(labelBox, 5, 40, 145, 12);
  layout.PlaceCaption(workDirCheck, 153, 40, 61, 10);
  layout.PlaceCaption(icon_label, 5, 55, 145, 10);
  layout.Place(iconBox, 5, 65, 200, 12);
  layout.Place(iconBrowseButton, 206, 66, 13, 10);
  layout.PlaceCaption(guid_label, 5, 80, 145, 10);
  layout.Place(guidBox, 5, 90, 200, 12);
  layout.PlaceCaption(target_label, 5, 105, 145, 10);
  layout.Place(targetBox, 5, 115, 200, 12);
  layout.Place(targetBrowseButton, 206, 116, 13, 10);
  layout.PlaceCaption(extensions_label, 5, 130, 90, 10);
  layout.Place(extensionsBox, 5, 140, 90, 12);
  layout.PlaceCaption(description_label, 100, 130, 119, 10);
  layout.Place(extensionDescriptionBox, 100, 140, 119, 12);
  layout.PlaceCaption(launchCheck, 5, 156, 215, 10);
  layout.PlaceWrapped(icon_hint, 5, 171, 215, 23);
  layout.PlaceWrapped(guid_hint, 5, 196, 220, 18);
  layout.Place(okButton, 120, 218, 50, 14);
  layout.Place(cancelButton, 175, 218, 50, 14);
  EnableTarget({});
  setFixedSize(layout.DialogSize(kDialogWidth, kDialogHeight));
}

void CFilePropertiesDlg::DoDataExchange(CDataExchange& exchange) {
  exchange.Text(sourceBox, sourcePath);
  exchange.Text(iconBox, iconPath);
  exchange.Text(labelBox, shortcutLabel);
  exchange.Text(guidBox, componentGuid);
  exchange.Check(workDirCheck, workDirIsTargetDir);
  exchange.Check(desktopCheck, onDesktopToo);
  exchange.Text(targetBox, shortcutTarget);
  exchange.Text(extensionsBox, extensions);
  exchange.Text(extensionDescriptionBox, extensionDescription);
  exchange.Check(launchCheck, launchOnExit);
}

QString CFilePropertiesDlg::SourceOnDisk(const QString& source) const {
  if (source.isEmpty() || QDir::isAbsolutePath(source) || browseFolder.empty()) return source;
  return QString::fromStdString(browseFolder) + "/" + source;
}

void CFilePropertiesDlg::EnableTarget(const QString& source) {
  const bool folder = !source.isEmpty() && QFileInfo(SourceOnDisk(source)).isDir();
  targetBox->setEnabled(folder);
  targetBrowseButton->setEnabled(folder);
}

void CFilePropertiesDlg::OnBrowseTarget() {
  UpdateData(true);
  const QString folder = QDir(SourceOnDisk(QString::fromStdString(sourcePath))).absolutePath();
  const QString chosen =
      ChooseOneLineFile(this, QStringLiteral("Choose the file the shortcut starts"),
                        QString::fromUtf8(kSourceFilter), folder.toStdString());
  if (chosen.isEmpty()) return;
  const QString inside = QDir(folder).relativeFilePath(QFileInfo(chosen).absoluteFilePath());
  if (inside.startsWith("../") || QDir::isAbsolutePath(inside)) {
    AfxMessageBox(chosen + " is not inside the folder " + folder +
                  ": the shortcut can start only a file the folder installs.");
    return;
  }
  shortcutTarget = inside.toStdString();
  UpdateData(false);
}

void CFilePropertiesDlg::OnBrowseSource() {
  BrowseInto(sourcePath, QStringLiteral("Choose the file to install"),
             QString::fromUtf8(kSourceFilter));
}

void CFilePropertiesDlg::OnBrowseIcon() {
  BrowseInto(iconPath, QStringLiteral("Choose the shortcut's icon"),
             QString::fromUtf8(kIconFilter));
}

void CFilePropertiesDlg::BrowseInto(std::string& path, const QString& title,
                                    const QString& filter) {
  UpdateData(true);
  const QString chosen = ChooseOneLineFile(this, title, filter, browseFolder);
  if (chosen.isEmpty()) return;
  path = chosen.toStdString();
  UpdateData(false);
}

}  // namespace kb
