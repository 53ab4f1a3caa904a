#pragma once
#include <QTemporaryDir>
#include <string>

// A fresh folder for one test; removed with the object.
class TempDir {
 public:
  TempDir() { dir_.setAutoRemove(true); }
  std::string path() const { return dir_.path().toStdString() + "/"; }
  std::string file(const std::string& name) const { return path() + name; }

 private:
  QTemporaryDir dir_;
};
