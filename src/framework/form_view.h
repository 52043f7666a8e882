#ifndef KITBINDER_FRAMEWORK_FORM_VIEW_H_
#define KITBINDER_FRAMEWORK_FORM_VIEW_H_

#include <QWidget>

#include "framework/cmd_target.h"
#include "framework/data_exchange.h"

namespace kb {

class CDocument;

// A window of controls that fills the main frame and shows its document: its controls are
// bound to members through DoDataExchange, it lays them out in OnSize, and the document
// template calls OnInitialUpdate after every New and Open.
class CFormView : public QWidget, public CCmdTarget {
 public:
  explicit CFormView(QWidget* parent);

  // Copies the controls into the members (true) or the members into the controls (false).
  // Returns true.
  bool UpdateData(bool save_and_validate = true);

  // After every New and Open. Runs OnUpdate.
  virtual void OnInitialUpdate();
  // When the document asks its view to show it anew.
  virtual void OnUpdate() {}

  // The view handles no commands unless a derived view does.
  bool OnCmdMsg(int) override { return false; }

  CDocument* GetDocument() const { return document_; }
  // Called once, by the document template.
  void SetDocument(CDocument* document) { document_ = document; }

 protected:
  // Lists the view's bindings.
  virtual void DoDataExchange(CDataExchange& exchange) = 0;
  // Lays the controls out for a client area of `cx` by `cy` pixels.
  virtual void OnSize(int cx, int cy) = 0;

  void resizeEvent(QResizeEvent* event) override;

 private:
  CDocument* document_ = nullptr;  // not owned
};

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_FORM_VIEW_H_
