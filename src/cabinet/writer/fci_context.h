#ifndef KITBINDER_CABINET_WRITER_FCI_CONTEXT_H_
#define KITBINDER_CABINET_WRITER_FCI_CONTEXT_H_

#include <cstddef>

#include "cabinet/writer/cabinet_state.h"
#include "cabinet/writer/cabinet_writer.h"
#include "cabinet/writer/client_services.h"
#include "cabinet/writer/folder_state.h"

namespace kb::cabinet {

// What one FCICreate makes: the way to the client, the cabinet being staged and the open
// folder. It lives in memory from the client's allocate callback (see FCICreate) and never
// moves, so its parts may point at `services`.
class FciContext {
 public:
  FciContext(const CabinetCallbacks& callbacks, CabinetError* error,
             const CabinetParameters& parameters, void* ctx, std::size_t workers, MszipLevel level)
      : services(callbacks, error, ctx),
        cabinet(&services, parameters),
        folder(&services, &cabinet.data_staging(), parameters.data_reserve, workers, level) {}
  FciContext(const FciContext&) = delete;
  FciContext& operator=(const FciContext&) = delete;

  ClientServices services;
  CabinetState cabinet;
  FolderState folder;
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_WRITER_FCI_CONTEXT_H_
