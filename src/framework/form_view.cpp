#include "framework/form_view.h"

#include <QResizeEvent>

namespace kb {

CFormView::CFormView(QWidget* parent) : QWidget(parent) {}

bool CFormView::UpdateData(bool save_and_validate) {
  CDataExchange exchange(CDataExchange::ForUpdateData(save_and_validate));
  DoDataExchange(exchange);
  return true;
}

void CFormView::OnInitialUpdate() {
  OnUpdate();
}

void CFormView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  OnSize(event->size().width(), event->size().height());
}

}  // namespace kb
