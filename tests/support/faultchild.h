#pragma once
// Faults made for real in a process of their own (tests/helpers/fault_child.cpp), and
// the rule for a fault that cannot be made here: a failure in CI, a skip elsewhere.

#include <grp.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>

#include <linux/capability.h>

// Inside a test: a fault that cannot be created fails the test in CI and skips it elsewhere.
#define FAULT_UNAVAILABLE(why)                    \
  do {                                            \
    if (qgetenv("CI") == "true") FAIL() << (why); \
    else GTEST_SKIP() << (why);                   \
  } while (0)

// The names in a folder: what a failed write must not leave behind.
inline std::set<std::string> FolderNames(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

struct ChildRun {
  bool finished = false;
  int exitCode = -1;
  bool crashed = false;
  std::map<QString, QString> values;  // the child's key=value lines
  QByteArray err;                     // what it wrote on stderr
  QString get(const char* key) const {
    const auto it = values.find(QString::fromLatin1(key));
    return it == values.end() ? QString() : it->second;
  }
};

#ifdef QUNO_FAULT_CHILD  // in the tests that start it
// Runs the fault child with args; extra environment entries; root's right to write
// anywhere dropped when noOverride (the child's folders then hold for root as well); as
// the ordinary user `user` when not 0, from a copy at program that this user can reach.
// With midway, the child runs with --pause (before args) and midway is called while it
// waits there.
inline ChildRun RunFaultChild(const QStringList& args, const std::map<QString, QString>& env = {},
                              bool noOverride = false, uid_t user = 0,
                              const QString& program = QStringLiteral(QUNO_FAULT_CHILD),
                              const std::function<void()>& midway = {}) {
  QProcess p;
  QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
  e.insert("QT_QPA_PLATFORM", "offscreen");
  for (const auto& [k, v] : env) e.insert(k, v);
  p.setProcessEnvironment(e);
  if (noOverride) {
    p.setChildProcessModifier([] {
      // Out of the bounding set, the capabilities are gone after exec even for root.
      prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
      prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
      prctl(PR_CAPBSET_DROP, CAP_FOWNER, 0, 0, 0);  // nor may it act as the owner of any file
    });
  } else if (user != 0) {
    p.setChildProcessModifier([user] {
      if (setgroups(0, nullptr) != 0 || setgid(user) != 0 || setuid(user) != 0) _exit(127);
    });
  }
  p.start(program, midway ? QStringList{"--pause"} + args : args);
  QByteArray out;
  if (midway) {
    for (QDeadlineTimer end(20000); !out.contains("paused=1\n") && !end.hasExpired();) {
      if (p.waitForReadyRead(100)) out += p.readAllStandardOutput();
      else if (p.state() == QProcess::NotRunning) break;
    }
    if (out.contains("paused=1\n")) midway();
    p.write("\n");
    p.closeWriteChannel();
  }
  ChildRun r;
  r.finished = p.waitForFinished(60000);
  if (!r.finished) {
    p.kill();
    p.waitForFinished(5000);
  }
  r.crashed = p.exitStatus() == QProcess::CrashExit;
  r.exitCode = p.exitCode();
  r.err = p.readAllStandardError();
  for (const QString& line : QString::fromUtf8(out + p.readAllStandardOutput()).split('\n')) {
    const auto eq = line.indexOf('=');
    if (eq > 0) r.values[line.left(eq)] = line.mid(eq + 1);
  }
  return r;
}

// An export in the fault child held at its first piece: its new file beside path written
// in part and locked, until the child is killed with SIGKILL (at the latest with the object).
struct HeldChild {
  QProcess proc;
  QByteArray out;
  explicit HeldChild(const std::string& path) {
    proc.start(QStringLiteral(QUNO_FAULT_CHILD), {"hold-export", QString::fromStdString(path)});
    for (QDeadlineTimer end(20000); !Held() && !end.hasExpired() && proc.state() != QProcess::NotRunning;)
      if (proc.waitForReadyRead(100)) out += proc.readAllStandardOutput();
  }
  bool Held() const { return out.contains("held=1"); }
  void Kill() {
    proc.kill();
    proc.waitForFinished(10000);
  }
};
#endif
