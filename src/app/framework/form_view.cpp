#include "app/framework/form_view.h"

#include <QResizeEvent>

namespace kb {

CFormView::CFormView(QWidget* parent) : QWidget(parent) {}

bool CFormView::UpdateData(bool save_and_validate) {
  CDataExchange exchange(save_and_validate ? CDataExchange::Direction::kControlsToMembers
                                           : CDataExchange::Direction::kMembersToControls);
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
