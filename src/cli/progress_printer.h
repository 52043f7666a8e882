#ifndef KITBINDER_CLI_PROGRESS_PRINTER_H_
#define KITBINDER_CLI_PROGRESS_PRINTER_H_

#include "cabinet/builder/cabinet_builder.h"

namespace kb::cli {

// An observer that prints a cabinet run's progress on standard output, as build and cab show
// it: a line per file placed, and the running totals and folder copying on one line rewritten
// with "\r" (flushed, so that a terminal shows it at once). Holds no state of its own.
cabinet::CabinetObserver ProgressPrinter();

}  // namespace kb::cli

#endif  // KITBINDER_CLI_PROGRESS_PRINTER_H_
