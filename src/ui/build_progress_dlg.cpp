#include "ui/build_progress_dlg.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace kb {
namespace {

// Wide enough for a typical file name; longer names are shortened in the middle.
constexpr int kWidthInCharacters = 60;

}  // namespace

CBuildProgressDlg::CBuildProgressDlg(const QString& package_name, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QApplication::applicationName());
  setWindowModality(Qt::ApplicationModal);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(
      new QLabel(QStringLiteral("Packing the files into %1").arg(package_name), this));
  file_label_ = new QLabel(this);
  file_label_->setTextFormat(Qt::PlainText);
  layout->addWidget(file_label_);
  percent_bar_ = new QProgressBar(this);
  percent_bar_->setRange(0, 100);
  percent_bar_->setValue(0);
  layout->addWidget(percent_bar_);
  setFixedWidth(fontMetrics().averageCharWidth() * kWidthInCharacters);
}

void CBuildProgressDlg::ShowProgress(const QString& file, int number, int count, int percent) {
  const QString text =
      QStringLiteral("File %1 of %2: %3").arg(number).arg(count).arg(QFileInfo(file).fileName());
  const QMargins margins = layout()->contentsMargins();
  const int room = width() - margins.left() - margins.right();
  file_label_->setText(file_label_->fontMetrics().elidedText(text, Qt::ElideMiddle, room));
  percent_bar_->setValue(percent);
}

void CBuildProgressDlg::reject() {}

}  // namespace kb
