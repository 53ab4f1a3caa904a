// Main form: the report print preview's launch (not built yet).
#include "mainwindow/utQuna.h"

void TfrmQuna::PrintReport(const QString& /*rangeText*/) {}
