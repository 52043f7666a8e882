#include "ui/build_progress_dlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace kb {
namespace {

// Wide enough for a typical file name; longer names are shortened in the middle.
constexpr int kWidthInCharacters = 60;

}  // namespace

CBuildProgressDlg::CBuildProgressDlg(const QString& package_name, QWidget* parent,
                                     std::function<void()> cancel)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      cancel_(std::move(cancel)),
      package_name_(package_name) {
  setWindowTitle(QApplication::applicationName());
  setWindowModality(Qt::ApplicationModal);
  auto* layout = new QVBoxLayout(this);
  heading_label_ = new QLabel(QStringLiteral("Packing the files into %1").arg(package_name), this);
  layout->addWidget(heading_label_);
  file_label_ = new QLabel(this);
  file_label_->setTextFormat(Qt::PlainText);
  layout->addWidget(file_label_);
  percent_bar_ = new QProgressBar(this);
  percent_bar_->setRange(0, 100);
  percent_bar_->setValue(0);
  layout->addWidget(percent_bar_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  cancel_button_ = buttons->button(QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::rejected, this, &CBuildProgressDlg::reject);
  layout->addWidget(buttons);
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

void CBuildProgressDlg::reject() {
  if (!cancel_button_->isEnabled()) return;
  cancel_button_->setEnabled(false);
  heading_label_->setText(QStringLiteral("Cancelling the build of %1").arg(package_name_));
  cancel_();
}

}  // namespace kb
