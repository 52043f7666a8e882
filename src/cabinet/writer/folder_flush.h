#ifndef KITBINDER_CABINET_WRITER_FOLDER_FLUSH_H_
#define KITBINDER_CABINET_WRITER_FOLDER_FLUSH_H_

#include "cabinet/writer/cabinet_writer.h"
#include "cabinet/writer/fci_context.h"

namespace kb::cabinet {

// Closes the open folder of `context` and places it in the cabinet staging. When the cabinet
// has no room for all of it (or `spanning` is set), the cabinet is finished with what fits,
// a next cabinet is requested through `next_cabinet`, and the rest of the folder (with the
// records of the files it still holds) starts that cabinet; this repeats until the folder is
// placed. With whole folders (CabinetParameters::whole_folders) the folder is never split but
// ends the cabinet and starts the next one whole, or fills a cabinet of its own. An empty folder
// is left alone. Returns false after filling the error record.
[[nodiscard]] bool FlushFolder(FciContext& context, bool spanning, NextCabinetCallback next_cabinet,
                               StatusCallback status);

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_WRITER_FOLDER_FLUSH_H_
