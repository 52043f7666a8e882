#include "app/about_dlg.h"

#include <QDesktopServices>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "app/app_strings.h"
#include "app/hyperlink_static.h"
#include "framework/dialog_units.h"

namespace kb {

CAboutDlg::CAboutDlg(QWidget* parent) : CDialog(parent) {
  setWindowTitle(QStringLiteral("About kitbinder"));
  const DialogUnits units(font());
  setFixedSize(units.Map(0, 0, 235, 55).size());

  auto* icon = new QLabel(this);
  const QRect icon_place = units.Map(11, 17, 20, 20);
  icon->setPixmap(QIcon(QStringLiteral(":/icons/48/kitbinder.png")).pixmap(icon_place.size()));
  icon->setGeometry(icon_place);

  auto* version = new QLabel(QString::fromUtf8(kVersionLine), this);
  version->setGeometry(units.Map(40, 10, 130, 8));
  auto* notice = new QLabel(QString::fromUtf8(kNoticeLine), this);
  notice->setGeometry(units.Map(40, 25, 140, 8));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setGeometry(units.Map(178, 7, 50, 14));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  link_ = new CHyperlinkStatic(QString::fromUtf8(kWebAddress), this);
  link_->setGeometry(units.Map(65, 40, 89, 8));
  link_->onClick = [] { QDesktopServices::openUrl(QUrl(QString::fromUtf8(kWebAddress))); };
}

}  // namespace kb
