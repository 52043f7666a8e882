#include "ui/kitbinder_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "framework/message_box.h"
#include "platform/file_name_from_path.h"
#include "project/form_exchange.h"
#include "ui/command_ids.h"
#include "ui/file_list_ctrl.h"
#include "ui/files_help_text.h"
#include "ui/help_texts.h"
#include "ui/kitbinder_doc.h"
#include "ui/one_line_name.h"

namespace kb {
namespace {

constexpr const char* kTabNames[] = {"Files to Install", "Product", "Author", "License",
                                     "Advanced"};
constexpr int kPageHelp[] = {kHelpFiles, kHelpProduct, kHelpAuthor, kHelpLicense, kHelpAdvanced};

struct Column {
  const char* header;
  int width;
};
constexpr Column kColumns[] = {{"Source Path", 150},    {"Shortcut Name", 84},
                               {"Shortcut Icon", 140},  {"Component GUID", 84},
                               {"Use Target Dir", 0},   {"Desktop Shortcut", 0},
                               {"Shortcut Target", 0},  {"Opens Files of Type", 0},
                               {"Type Description", 0}, {"Start When Setup Exits", 0}};
constexpr int kSetkdirColumn = 4;
constexpr int kDesktopColumn = 5;
// Hidden like the ones before it: a folder row's shortcut target, the file inside it.
constexpr int kShortcutTargetColumn = 6;
// Hidden too: the document types a program opens, and their description.
constexpr int kExtensionsColumn = 7;
constexpr int kExtensionDescriptionColumn = 8;
// Hidden too: "1" on the one program the finish dialog offers to start.
constexpr int kLaunchColumn = 9;

// The language list's entries and the project's language codes, by index.
constexpr const char* kLanguageNames[] = {"English", "French", "Spanish"};
constexpr const char* kLanguageCodes[] = {"en", "fr", "es"};

// The Advanced page's install choices, in list order.
constexpr std::pair<InstallScope, const char*> kScopeChoices[] = {
    {InstallScope::kMachine, "For all users"},
    {InstallScope::kUser, "For the current user"},
    {InstallScope::kBoth, "Either, the user chooses"}};
constexpr std::pair<TargetPlatform, const char*> kPlatformChoices[] = {
    {TargetPlatform::kX86, "32-bit (x86)"}, {TargetPlatform::kX64, "64-bit (x64)"}};
// The compressions, by the project file's value ("" is the default, best).
constexpr std::pair<std::string_view, const char*> kCompressionChoices[] = {
    {"", "Best (smallest MSZIP)"},
    {"normal", "Normal"},
    {"fast", "Fast"},
    {"none", "None (stored)"},
    {"lzx", "LZX (smallest, slowest)"}};

// The list index of the project file's compression value; "best" and values this version does
// not know show as the default.
int CompressionIndex(std::string_view value) {
  for (int index = 0; index < static_cast<int>(std::size(kCompressionChoices)); ++index) {
    if (kCompressionChoices[index].first == value) return index;
  }
  return 0;
}

constexpr int kFormFontPoints = 8;
// Below this the Files page's list would show no more than a few rows; the Advanced page
// scrolls rather than run into the help text.
constexpr int kMinimumWidth = 420;
constexpr int kMinimumHeight = 300;
// The size at which every page shows whole: the Advanced page's last row ends at 344, and the
// help text starts 100 pixels above the bottom.
constexpr int kWholeFormWidth = 620;
constexpr int kWholeFormHeight = 460;
// The Advanced page's rows lie on an area of their own that starts below the tab strip's tabs
// and ends above the help text, and scrolls when they do not fit between.
constexpr int kAdvancedTop = 40;
constexpr int kAdvancedBottom = 375;
// Labels end 5 pixels before the boxes and the boxes 5 pixels before their buttons.
constexpr int kBoxLeft = 105;
constexpr int kBrowseWidth = 60;

constexpr char kEulaFilter[] = "Rich Text Documents (*.rtf)";
constexpr char kBannerFilter[] = "Jpeg Files (*.jpg)";
constexpr char kCertificateFilter[] = "PKCS#12 Certificates (*.p12 *.pfx)";

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// The project file's name without folder and extension: "mytool" for "/work/mytool.kbr"; empty
// for a name without "." (a dot in a folder's name does not count).
std::string TitleFromPath(const std::string& path) {
  const std::string name(platform::FileNameFromPath(path));
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(0, dot);
}

// The index of `value` in `choices`; 0 (the default) when it is not there.
template <typename Value, std::size_t N>
int ChoiceIndex(const std::pair<Value, const char*> (&choices)[N], Value value) {
  for (std::size_t i = 0; i < N; ++i) {
    if (choices[i].first == value) return static_cast<int>(i);
  }
  return 0;
}

template <typename Value, std::size_t N>
Value ChosenValue(const std::pair<Value, const char*> (&choices)[N], const QComboBox& list) {
  const int index = list.currentIndex();
  return choices[index >= 0 && index < static_cast<int>(N) ? index : 0].first;
}

}  // namespace

CKitbinderView::CKitbinderView(QWidget* parent) : CFormView(parent) {
  // Below this the pages' rows would run into the help text.
  setMinimumSize(kMinimumWidth, kMinimumHeight);
  // The layout's pixel places were made for a compact 8-point dialog font; a larger one would
  // not fit the buttons' captions.
  QFont form_font = font();
  form_font.setPointSize(kFormFontPoints);
  setFont(form_font);
  CreateControls();
}

QSize CKitbinderView::sizeHint() const {
  return {kWholeFormWidth, kWholeFormHeight};
}

CKitbinderView::~CKitbinderView() = default;

void CKitbinderView::CreateControls() {
  tabStrip = new QTabWidget(this);
  connect(tabStrip, &QTabWidget::currentChanged, this, [this] { OnSelchangeTab(); });
  // The pages' controls lie over the tab strip rather than inside it, so the strip's own
  // Ctrl+Tab would not reach them.
  const auto turn_page = [this](int step) {
    const int count = tabStrip->count();
    if (count > 0) tabStrip->setCurrentIndex((tabStrip->currentIndex() + step + count) % count);
  };
  for (const auto& [keys, step] : {std::pair{QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
                                   std::pair{QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
                                   std::pair{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), -1},
                                   std::pair{QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1}}) {
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    connect(shortcut, &QShortcut::activated, this, [turn_page, pages = step] { turn_page(pages); });
  }
  auto* add_folder = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A), this);
  add_folder->setContext(Qt::WidgetWithChildrenShortcut);
  connect(add_folder, &QShortcut::activated, this, [this] { OnAddFolder(); });

  fileList = new CFileListCtrl(this);
  fileList->onKeyDown = [this](int key) { OnListKeyDown(key); };
  fileList->onReturn = [this] { OnListReturn(); };
  fileList->onDoubleClick = [this](int row) { OnListDblClk(row); };
  // A selected folder row says what it holds in the main window's status bar.
  connect(fileList, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    auto* frame = qobject_cast<QMainWindow*>(window());
    if (frame && item && !item->toolTip(0).isEmpty()) {
      frame->statusBar()->showMessage(item->toolTip(0));
    }
  });
  addButton = new QPushButton(QStringLiteral("&Add"), this);
  removeButton = new QPushButton(QStringLiteral("&Remove"), this);
  propertiesButton = new QPushButton(QStringLiteral("&Properties"), this);
  propertiesButton->setDefault(true);
  connect(addButton, &QPushButton::clicked, this, [this] { OnAddFiles(); });
  connect(removeButton, &QPushButton::clicked, this, [this] { OnRemoveFile(); });
  connect(propertiesButton, &QPushButton::clicked, this, [this] { OnFileProperties(); });

  // Transparent over the tab strip's page, like the controls of the other pages.
  advancedArea = new QScrollArea(this);
  advancedArea->setFrameShape(QFrame::NoFrame);
  advancedArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  advancedPage = new QWidget;
  advancedArea->setWidget(advancedPage);
  advancedArea->viewport()->setAutoFillBackground(false);
  advancedPage->setAutoFillBackground(false);

  QWidget* parent = this;
  const auto label = [&parent](const char* text) {
    return new QLabel(QString::fromUtf8(text), parent);
  };
  const auto box = [&parent] { return new QLineEdit(parent); };
  titleLabel = label("Title");
  titleBox = box();
  versionLabel = label("Version");
  versionBox = box();
  authorLabel = label("Author");
  authorBox = box();
  urlLabel = label("Url");
  urlBox = box();
  eulaFileLabel = label("Eula File Path");
  eulaFileBox = box();
  eulaBrowseButton = new QPushButton(QStringLiteral("&Browse"), this);
  connect(eulaBrowseButton, &QPushButton::clicked, this, [this] { OnBrowseEula(); });
  parent = advancedPage;
  productCodeLabel = label("Product Code");
  productCodeBox = box();
  packageCodeLabel = label("Package Code");
  packageCodeBox = box();
  upgradeCodeLabel = label("Upgrade Code");
  upgradeCodeBox = box();
  languageLabel = label("Language");
  languageList = new QComboBox(advancedPage);
  // The choice is remembered as it is made, so that a New keeps it.
  connect(languageList, &QComboBox::activated, this, [this](int index) { languageIndex = index; });
  bannerFileLabel = label("Banner File Path");
  bannerFileBox = box();
  bannerBrowseButton = new QPushButton(QStringLiteral("&Browse"), advancedPage);
  connect(bannerBrowseButton, &QPushButton::clicked, this, [this] { OnBrowseBanner(); });
  noQuestionsCheck = new QCheckBox(QStringLiteral("No Questions Install"), advancedPage);
  installScopeLabel = label("Install For");
  installScopeList = new QComboBox(advancedPage);
  for (const auto& choice : kScopeChoices)
    installScopeList->addItem(QString::fromUtf8(choice.second));
  platformLabel = label("Platform");
  platformList = new QComboBox(advancedPage);
  for (const auto& choice : kPlatformChoices)
    platformList->addItem(QString::fromUtf8(choice.second));
  addToPathCheck = new QCheckBox(QStringLiteral("Add the install folder to PATH"), advancedPage);
  compressionLabel = label("Compression");
  compressionList = new QComboBox(advancedPage);
  for (const auto& choice : kCompressionChoices)
    compressionList->addItem(QString::fromUtf8(choice.second));
  externalCabinetsCheck =
      new QCheckBox(QStringLiteral("Put the cabinets beside the package"), advancedPage);
  externalCabinetsCheck->setToolTip(QStringLiteral(
      "The package then holds no files: ship the .cab files made beside it with it"));
  signCertificateLabel = label("Certificate");
  signCertificateBox = box();
  signBrowseButton = new QPushButton(QStringLiteral("Br&owse"), advancedPage);
  connect(signBrowseButton, &QPushButton::clicked, this, [this] { OnBrowseCertificate(); });
  timestampLabel = label("Timestamp URL");
  timestampBox = box();

  // A value the build would refuse is marked as soon as the user leaves its box.
  for (QLineEdit* checked : CheckedBoxes()) {
    connect(checked, &QLineEdit::editingFinished, this, [this] { MarkFieldProblems(); });
  }

  helpBox = new QPlainTextEdit(this);
  helpBox->setReadOnly(true);
  helpBox->setFrameShape(QFrame::NoFrame);
  helpBox->setFocusPolicy(Qt::NoFocus);
  helpBox->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  HideAllControls();
}

void CKitbinderView::DoDataExchange(CDataExchange& exchange) {
  exchange.Text(authorBox, authorText);
  exchange.Text(productCodeBox, productCodeText);
  exchange.Text(titleBox, titleText);
  exchange.Text(versionBox, versionText);
  exchange.Text(packageCodeBox, packageCodeText);
  exchange.Text(urlBox, urlText);
  exchange.Text(eulaFileBox, eulaFileText);
  exchange.Text(helpBox, helpText);
  exchange.Text(bannerFileBox, bannerFileText);
  exchange.Text(upgradeCodeBox, upgradeCodeText);
  exchange.Text(signCertificateBox, signCertificateText);
  exchange.Text(timestampBox, timestampUrlText);
}

CKitbinderDoc* CKitbinderView::Document() const {
  return static_cast<CKitbinderDoc*>(GetDocument());
}

bool CKitbinderView::OnCmdMsg(int id) {
  switch (id) {
    case ID_PACKAGE_BUILD:
      OnPackageBuild();
      return true;
    case ID_PACKAGE_INSTALL:
      OnPackageInstall();
      return true;
    default:
      return false;
  }
}

void CKitbinderView::OnInitialUpdate() {
  CFormView::OnInitialUpdate();
  if (tabStrip->count() == 0) {
    const QSignalBlocker quiet(tabStrip);
    for (const char* name : kTabNames) tabStrip->addTab(new QWidget, QString::fromUtf8(name));
    helpFont = QFont(QStringLiteral("Arial"), 10);
    helpBox->setFont(helpFont);
  }
  const QSignalBlocker quiet(tabStrip);
  tabStrip->setCurrentIndex(0);
  OnSelchangeTab();
}

void CKitbinderView::OnUpdate() {
  if (!columnsCreated) {
    QStringList headers;
    for (const Column& column : kColumns) headers.append(QString::fromUtf8(column.header));
    fileList->setHeaderLabels(headers);
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
      fileList->setColumnWidth(i, kColumns[i].width);
    }
    fileList->setColumnHidden(kSetkdirColumn, true);
    fileList->setColumnHidden(kDesktopColumn, true);
    for (int hidden :
         {kShortcutTargetColumn, kExtensionsColumn, kExtensionDescriptionColumn, kLaunchColumn})
      fileList->setColumnHidden(hidden, true);
    for (const char* name : kLanguageNames) languageList->addItem(QString::fromUtf8(name));
    languageList->setCurrentIndex(0);
    columnsCreated = true;
  }
  languageList->setCurrentIndex(languageIndex);

  fileList->DeleteAllItems();
  QList<QTreeWidgetItem*> rows;
  rows.reserve(static_cast<qsizetype>(storedSettings.files.size()));
  for (const ProjectFileEntry& file : storedSettings.files) {
    if (file.path.empty()) continue;
    rows.append(new QTreeWidgetItem(QStringList{
        Q(file.path), Q(file.shortcutname), Q(file.shortcuticon), Q(file.componentguid),
        file.setkdir ? "1" : "0", file.desktopshortcut ? "1" : "0", Q(file.shortcuttarget),
        Q(file.extensions), Q(file.extensiondescription), file.launchonexit ? "1" : "0"}));
  }
  fileList->addTopLevelItems(rows);
}

std::vector<QWidget*> CKitbinderView::PageControls(int page) const {
  switch (page) {
    case 0:
      return {fileList, addButton, removeButton, propertiesButton};
    case 1:
      return {titleBox, titleLabel, versionLabel, versionBox};
    case 2:
      return {authorBox, authorLabel, urlLabel, urlBox};
    case 3:
      return {eulaFileBox, eulaFileLabel, eulaBrowseButton};
    case 4:
      return {productCodeBox,       productCodeLabel,   packageCodeLabel,   packageCodeBox,
              upgradeCodeLabel,     upgradeCodeBox,     languageLabel,      languageList,
              bannerFileLabel,      bannerFileBox,      bannerBrowseButton, noQuestionsCheck,
              installScopeLabel,    installScopeList,   platformLabel,      platformList,
              addToPathCheck,       compressionLabel,   compressionList,    externalCabinetsCheck,
              signCertificateLabel, signCertificateBox, signBrowseButton,   timestampLabel,
              timestampBox,         advancedArea};
    default:
      return {};
  }
}

void CKitbinderView::OnSelchangeTab() {
  UpdateData(true);
  HideAllControls();
  const int page = tabStrip->currentIndex();
  const std::vector<QWidget*> controls = PageControls(page);
  if (!controls.empty()) {
    for (QWidget* control : controls) control->show();
    controls.front()->setFocus();
    helpText = page == 0 ? FilesHelpText(ChosenValue(kScopeChoices, *installScopeList),
                                         ChosenValue(kPlatformChoices, *platformList))
                         : std::string(HelpText(kPageHelp[page]));
  }
  UpdateData(false);
}

void CKitbinderView::HideAllControls() {
  for (int page = 0; page < static_cast<int>(std::size(kTabNames)); ++page) {
    for (QWidget* control : PageControls(page)) control->hide();
  }
}

void CKitbinderView::OnSize(int cx, int cy) {
  const int d = cx / 2;
  tabStrip->setGeometry(0, 0, cx, cy);
  const auto row_label = [](QLabel* label, int y) { label->setGeometry(10, y, 90, 19); };
  row_label(titleLabel, 50);
  row_label(authorLabel, 50);
  row_label(eulaFileLabel, 50);
  row_label(versionLabel, 75);
  urlLabel->setGeometry(10, 75, 30, 19);
  for (QWidget* box : {titleBox, authorBox}) box->setGeometry(kBoxLeft, 50, d, 19);
  for (QWidget* box : {versionBox, urlBox}) box->setGeometry(kBoxLeft, 75, d, 19);
  eulaFileBox->setGeometry(kBoxLeft, 50, cx - kBoxLeft - kBrowseWidth - 15, 19);
  eulaBrowseButton->setGeometry(cx - kBrowseWidth - 10, 50, kBrowseWidth, 20);
  LayOutAdvancedPage(cx, cy);
  fileList->setGeometry(10, 50, cx - 20, cy - 190);
  // The buttons end where the list does.
  addButton->setGeometry(cx - 200, cy - 130, 60, 20);
  removeButton->setGeometry(cx - 135, cy - 130, 60, 20);
  propertiesButton->setGeometry(cx - 70, cy - 130, 60, 20);
  helpBox->setGeometry(10, cy - 100, cx - 20, 90);

  fileList->setColumnWidth(0, (cx / 8) * 4);
  fileList->setColumnWidth(1, cx / 8);
  fileList->setColumnWidth(2, cx - fileList->columnWidth(1) - fileList->columnWidth(0) - 25);
}

// The rows keep the places they would have on the form itself (y counted from the form's top),
// whether the area scrolls or not.
void CKitbinderView::LayOutAdvancedPage(int cx, int cy) {
  const int area_height = std::max(0, cy - 105 - kAdvancedTop);
  const int page_height = kAdvancedBottom - kAdvancedTop;
  const int scroll_bar = area_height < page_height
                             ? advancedArea->style()->pixelMetric(QStyle::PM_ScrollBarExtent)
                             : 0;
  const int width = cx - scroll_bar;
  const int d = cx / 2;
  advancedArea->setGeometry(0, kAdvancedTop, cx, area_height);
  advancedPage->resize(width, page_height);
  const auto place = [](QWidget* control, int x, int y, int w, int h) {
    control->setGeometry(x, y - kAdvancedTop, w, h);
  };
  const auto row = [&](QLabel* label, QWidget* field, int y, int w) {
    place(label, 10, y, 90, 19);
    // 100 pixels is the height of a list when it drops down; closed, it keeps its own.
    place(field, kBoxLeft, y, w, qobject_cast<QComboBox*>(field) ? field->sizeHint().height() : 19);
  };
  const int browse_box = width - kBoxLeft - kBrowseWidth - 15;
  row(productCodeLabel, productCodeBox, 50, d);
  row(packageCodeLabel, packageCodeBox, 75, d);
  row(upgradeCodeLabel, upgradeCodeBox, 100, d);
  row(languageLabel, languageList, 125, d);
  row(bannerFileLabel, bannerFileBox, 150, browse_box);
  place(bannerBrowseButton, width - kBrowseWidth - 10, 150, kBrowseWidth, 20);
  place(noQuestionsCheck, kBoxLeft, 175, 200, 20);
  row(installScopeLabel, installScopeList, 200, d);
  row(platformLabel, platformList, 225, d);
  place(addToPathCheck, kBoxLeft, 250, 250, 20);
  row(compressionLabel, compressionList, 275, d);
  place(externalCabinetsCheck, kBoxLeft, 300, 250, 20);
  row(signCertificateLabel, signCertificateBox, 325, browse_box);
  place(signBrowseButton, width - kBrowseWidth - 10, 325, kBrowseWidth, 20);
  row(timestampLabel, timestampBox, 350, d);
}

void CKitbinderView::FillSettings(CProjectSettings& settings) {
  UpdateData(true);
  settings.Clear();
  settings.SetProperties(titleText, versionText, productCodeText, packageCodeText, upgradeCodeText,
                         authorText, urlText, eulaFileText, bannerFileText, commentsText,
                         noQuestionsCheck->isChecked());
  const int language = languageList->currentIndex();
  settings.language = kLanguageCodes[language == 1 || language == 2 ? language : 0];
  if (productCodeText == versionedProductCode) settings.productcodeversion = productCodeVersionText;
  settings.installscope = ChosenValue(kScopeChoices, *installScopeList);
  settings.platform = ChosenValue(kPlatformChoices, *platformList);
  settings.signcertificate = signCertificateText;
  settings.timestampurl = timestampUrlText;
  const int compression = compressionList->currentIndex();
  settings.compression = compression == CompressionIndex(compressionText)
                             ? compressionText
                             : std::string(kCompressionChoices[compression].first);
  settings.addtopath = addToPathCheck->isChecked();
  settings.externalcabinets = externalCabinetsCheck->isChecked();
  for (int row = 0; row < fileList->RowCount(); ++row) {
    const auto column = [&](int index) { return fileList->ItemText(row, index).toStdString(); };
    settings.AddFileEntry({.path = column(0),
                           .shortcutname = column(1),
                           .shortcuticon = column(2),
                           .id = "",
                           .componentid = "",
                           .componentguid = column(3),
                           .setkdir = column(kSetkdirColumn) == "1",
                           .desktopshortcut = column(kDesktopColumn) == "1",
                           .shortcuttarget = column(kShortcutTargetColumn),
                           .extensions = column(kExtensionsColumn),
                           .extensiondescription = column(kExtensionDescriptionColumn),
                           .launchonexit = column(kLaunchColumn) == "1"});
  }
  KeepWhatTheFormKeeps(settings);
}

bool CKitbinderView::IsProjectModified() {
  CProjectSettings form;
  FillSettings(form);
  return !form.IsEqual(storedSettings);
}

void CKitbinderView::LoadProject(const std::string& path) {
  storedSettings.Load(path);
  titleText = storedSettings.title;
  versionText = storedSettings.version;
  productCodeText = storedSettings.productcode;
  packageCodeText = storedSettings.packagecode;
  upgradeCodeText = storedSettings.upgradecode;
  authorText = storedSettings.author;
  urlText = storedSettings.supporturl;
  eulaFileText = storedSettings.eulafile;
  bannerFileText = storedSettings.bannerfile;
  commentsText = storedSettings.comments;
  productCodeVersionText = storedSettings.productcodeversion;
  signCertificateText = storedSettings.signcertificate;
  timestampUrlText = storedSettings.timestampurl;
  compressionText = storedSettings.compression;
  compressionList->setCurrentIndex(CompressionIndex(compressionText));
  versionedProductCode = storedSettings.productcode;
  for (int index = 0; index < static_cast<int>(std::size(kLanguageCodes)); ++index) {
    if (storedSettings.language == kLanguageCodes[index]) languageIndex = index;
  }
  noQuestionsCheck->setChecked(storedSettings.noquestions);
  installScopeList->setCurrentIndex(ChoiceIndex(kScopeChoices, storedSettings.installscope));
  platformList->setCurrentIndex(ChoiceIndex(kPlatformChoices, storedSettings.platform));
  addToPathCheck->setChecked(storedSettings.addtopath);
  externalCabinetsCheck->setChecked(storedSettings.externalcabinets);
  RememberProjectFolder(path);
  UpdateData(false);
  MarkFieldProblems();
}

bool CKitbinderView::SaveProject(const std::string& path) {
  UpdateData(true);
  const std::string typed_title = titleText;
  if (titleText.empty()) {
    titleText = TitleFromPath(path);
    UpdateData(false);
  }
  CProjectSettings saved;
  FillSettings(saved);
  if (!saved.Save(path)) {
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    titleText = typed_title;
    UpdateData(false);
    AfxMessageBox(QStringLiteral("Cannot save %1.\n%2.\nYour changes are still here, not saved.")
                      .arg(Q(path), reason),
                  window());
    return false;
  }
  storedSettings = std::move(saved);
  RememberProjectFolder(path);
  return true;
}

void CKitbinderView::ResetProject() {
  storedSettings.SetProperties("", "", "", "", "", "", "", "", "", "", false);
  storedSettings.productcodeversion.clear();
  storedSettings.installscope = InstallScope::kMachine;
  storedSettings.platform = TargetPlatform::kX86;
  storedSettings.signcertificate.clear();
  storedSettings.timestampurl.clear();
  storedSettings.compression.clear();
  storedSettings.addtopath = false;
  storedSettings.externalcabinets = false;
  storedSettings.Clear();
  fileList->DeleteAllItems();
  for (std::string* text :
       {&titleText, &versionText, &productCodeText, &packageCodeText, &upgradeCodeText, &authorText,
        &urlText, &eulaFileText, &bannerFileText, &commentsText, &productCodeVersionText,
        &versionedProductCode, &signCertificateText, &timestampUrlText, &compressionText,
        &projectFolder}) {
    text->clear();
  }
  noQuestionsCheck->setChecked(false);
  installScopeList->setCurrentIndex(0);
  platformList->setCurrentIndex(0);
  compressionList->setCurrentIndex(0);
  addToPathCheck->setChecked(false);
  externalCabinetsCheck->setChecked(false);
  UpdateData(false);
  MarkFieldProblems();
}

void CKitbinderView::RememberProjectFolder(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\");
  if (separator == std::string::npos) return;
  projectFolder = separator == 0 ? path.substr(0, 1) : path.substr(0, separator);
}

void CKitbinderView::BrowseInto(std::string& text, const QString& title, const QString& filter) {
  UpdateData(true);
  const QString chosen = ChooseOneLineFile(this, title, filter, projectFolder);
  if (chosen.isEmpty()) return;
  text = chosen.toStdString();
  UpdateData(false);
  MarkFieldProblems();
}

void CKitbinderView::OnBrowseEula() {
  BrowseInto(eulaFileText, QStringLiteral("Choose the licence file"),
             QString::fromUtf8(kEulaFilter));
}

void CKitbinderView::OnBrowseBanner() {
  BrowseInto(bannerFileText, QStringLiteral("Choose the banner image"),
             QString::fromUtf8(kBannerFilter));
}

void CKitbinderView::OnBrowseCertificate() {
  BrowseInto(signCertificateText, QStringLiteral("Choose the signing certificate"),
             QString::fromUtf8(kCertificateFilter));
}

}  // namespace kb
