#include "app/kitbinder_app.h"
#include "platform/removal_on_signal.h"

int main(int argc, char** argv) {
  if (const auto status = kb::CKitbinderApp::AnswerInformationRequest(argc, argv)) return *status;
  // A build ended by SIGTERM, SIGINT or SIGHUP leaves none of its files behind, as in
  // kitbinder-cli.
  kb::platform::RemoveMarkedFilesOnSignals();
  kb::CKitbinderApp app(argc, argv);
  return app.Run();
}
