#include "framework/dialog.h"

#include <QApplication>

#include "framework/standard_ids.h"

namespace kb {

CDialog::CDialog(QWidget* parent) : QDialog(parent ? parent : QApplication::activeWindow()) {}

int CDialog::DoModal() {
  CDataExchange before(CDataExchange::Direction::kRemember);
  DoDataExchange(before);
  UpdateData(false);
  if (exec() == QDialog::Accepted) return IDOK;
  before.Restore();
  return IDCANCEL;
}

bool CDialog::UpdateData(bool save_and_validate) {
  CDataExchange exchange(CDataExchange::ForUpdateData(save_and_validate));
  DoDataExchange(exchange);
  return true;
}

void CDialog::accept() {
  UpdateData(true);
  QDialog::accept();
}

}  // namespace kb
