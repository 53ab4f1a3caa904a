#include "app/startup.h"
#include "mainwindow/utQuna.h"

int main(int argc, char** argv) { return RunApplication(argc, argv, CreateMainForm); }
