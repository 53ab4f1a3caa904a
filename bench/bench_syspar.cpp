// Time of one file open's settings read (ReadFilePar: every key read from the file
// afresh) on a "system.par" that has collected many data-file sections.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "data/syspar.h"
#include "platform/appdir.h"
#include "platform/gbk.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int sections = argc > 1 ? std::atoi(argv[1]) : 1000;
  QTemporaryDir dir;
  SetProgramDir(dir.path().toStdString());
  {
    std::ofstream out(SystemParPath(), std::ios::binary);
    out << "[par]\r\nLANGESELECT=0\r\nBKCOLOR=0\r\n";
    for (int s = 0; s < sections; ++s) {
      out << gbk::FromUtf8("[记录" + std::to_string(s) + ".qmd]\r\n");
      for (int c = 1; c <= 32; ++c) out << "ch" << c << "=" << gbk::FromUtf8("通道") << c << "\r\n";
      out << "DATAPOS0=5\r\nDATAPOS3=65\r\n";
    }
  }
  const std::string last = "记录" + std::to_string(sections - 1) + ".qmd";
  const int rounds = 5;
  const auto t0 = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r) GetPubParam()->ReadFilePar(last);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count() / rounds;
  std::printf("ReadFilePar, %d sections (%d lines), last section: %.2f ms per call\n", sections,
              sections * 35 + 3, ms);
  return 0;
}
