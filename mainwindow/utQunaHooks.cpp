// Export and printing are not built yet: the export button and the print button reach
// these hooks (after the busy and no-file checks) and nothing happens.
#include "mainwindow/utQuna.h"

void TfrmQuna::ExportCurrentPage() {}
