#pragma once
// Qt's own texts (the file, colour and message dialogs and their standard buttons) in
// the interface language, from the translations Qt installs beside itself.

#include <QString>
#include <QStringList>

// The catalogues for a language choice: Chinese for every choice but English (1),
// since without a language file every text is the built-in Chinese one; none for
// English, Qt's own language.
QStringList QtCatalogues(int langSelect);

// Replaces the Qt catalogues installed by an earlier call with those of langSelect,
// read from folder (Qt's translations folder when empty). Returns false when a
// catalogue could not be loaded; Qt's texts then stay English.
bool InstallQtTranslations(int langSelect, const QString& folder = QString());
