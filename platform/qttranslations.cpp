#include "platform/qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>
#include <vector>

QStringList QtCatalogues(int langSelect) {
  if (langSelect == 1) return {};
  // qtbase holds the dialogs and the standard buttons.
  return {QStringLiteral("qtbase_zh_CN")};
}

bool InstallQtTranslations(int langSelect, const QString& folder) {
  // Kept for the life of the process, as the application reads them on every lookup.
  static std::vector<std::unique_ptr<QTranslator>> installed;
  for (auto& t : installed) QCoreApplication::removeTranslator(t.get());
  installed.clear();
  const QString dir = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
  bool ok = true;
  for (const QString& name : QtCatalogues(langSelect)) {
    auto t = std::make_unique<QTranslator>();
    if (!t->load(name, dir)) {
      ok = false;
      continue;
    }
    QCoreApplication::installTranslator(t.get());
    installed.push_back(std::move(t));
  }
  return ok;
}
