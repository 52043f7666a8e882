#include "app/kitbinder_app.h"

int main(int argc, char** argv) {
  if (const auto status = kb::CKitbinderApp::AnswerInformationRequest(argc, argv)) return *status;
  kb::CKitbinderApp app(argc, argv);
  return app.Run();
}
