// What the build would refuse, shown on the form: marks on the fields as the user leaves them,
// and every problem at once when Build is chosen.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QTabWidget>
#include <optional>

#include "framework/field_mark.h"
#include "framework/message_box.h"
#include "framework/utf8_text.h"
#include "package/build_command.h"
#include "package/major_upgrade.h"
#include "package/project_checks.h"
#include "ui/file_list_ctrl.h"
#include "ui/kitbinder_view.h"

namespace kb {
namespace {

constexpr int kFilesPage = 0;
constexpr int kProductPage = 1;
constexpr int kLicensePage = 3;
constexpr int kAdvancedPage = 4;

QString Problem(const std::optional<std::string>& problem) {
  return problem ? FromUtf8(*problem) : QString();
}

}  // namespace

std::vector<QLineEdit*> CKitbinderView::CheckedBoxes() const {
  return {titleBox,       versionBox,  productCodeBox, packageCodeBox,
          upgradeCodeBox, eulaFileBox, bannerFileBox};
}

void CKitbinderView::MarkFieldProblems() {
  const auto text = [](const QLineEdit* box) { return box->text().toStdString(); };
  // An empty title is no mistake yet: saving the project names it after the file.
  const std::string title = text(titleBox);
  MarkField(titleBox, title.empty() ? QString() : Problem(TitleProblem(title)));
  MarkField(versionBox, Problem(ProductVersionProblem(text(versionBox))));
  for (const auto& [box, field] :
       {std::pair{productCodeBox, "product code"}, std::pair{packageCodeBox, "package code"},
        std::pair{upgradeCodeBox, "upgrade code"}}) {
    MarkField(box, Problem(CodeProblem(text(box), field)));
  }
  MarkField(eulaFileBox, Problem(LicenseProblem(text(eulaFileBox), projectFolder)));
  MarkField(bannerFileBox, Problem(BannerProblem(text(bannerFileBox), projectFolder)));
}

CKitbinderView::ProblemPlace CKitbinderView::PlaceOf(const ProjectProblem& problem) const {
  const auto field = [this](int page, QWidget* control, const QLabel* label) {
    return ProblemPlace{page, control,
                        tabStrip->tabText(page) + QStringLiteral(" \u25b8 ") + label->text()};
  };
  switch (problem.field) {
    case ProjectField::kTitle:
      return field(kProductPage, titleBox, titleLabel);
    case ProjectField::kProductVersion:
      return field(kProductPage, versionBox, versionLabel);
    case ProjectField::kProductCode:
      return field(kAdvancedPage, productCodeBox, productCodeLabel);
    case ProjectField::kPackageCode:
      return field(kAdvancedPage, packageCodeBox, packageCodeLabel);
    case ProjectField::kUpgradeCode:
      return field(kAdvancedPage, upgradeCodeBox, upgradeCodeLabel);
    case ProjectField::kLicense:
      return field(kLicensePage, eulaFileBox, eulaFileLabel);
    case ProjectField::kBanner:
      return field(kAdvancedPage, bannerFileBox, bannerFileLabel);
    case ProjectField::kCompression:
      return field(kAdvancedPage, compressionList, compressionLabel);
    case ProjectField::kFiles:
      break;
  }
  QString name = tabStrip->tabText(kFilesPage);
  if (problem.file) name += QStringLiteral(", row %1").arg(*problem.file + 1);
  return {kFilesPage, fileList, name};
}

bool CKitbinderView::ShowBuildProblems(CProjectSettings settings) {
  FolderTrees trees;
  const std::vector<ProjectProblem> problems = CheckProject(settings, projectFolder, trees);
  if (problems.empty()) return false;
  QStringList lines;
  for (const ProjectProblem& problem : problems) {
    lines.append(QStringLiteral("\u2022 ") + PlaceOf(problem).name + QStringLiteral(": ") +
                 FromUtf8(problem.text));
  }
  AfxMessageBox(FromUtf8(kBuildFailedMessage) + lines.join('\n'), window(), MessageIcon::kError);

  const ProjectProblem& first = problems.front();
  const ProblemPlace place = PlaceOf(first);
  tabStrip->setCurrentIndex(place.page);
  if (first.file) {
    fileList->setCurrentItem(fileList->topLevelItem(static_cast<int>(*first.file)));
  }
  place.control->setFocus();
  if (place.page == kAdvancedPage) advancedArea->ensureWidgetVisible(place.control);
  return true;
}

}  // namespace kb
