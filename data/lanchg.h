#pragma once
// Language texts: every caption and message is looked up by section, key and the
// built-in Chinese default in the chosen language file (GBK on disk, UTF-8 here).

#include <QString>
#include <string>

class QWidget;

class utlanchg {
 public:
  utlanchg() = default;
  virtual ~utlanchg() = default;
  void SetLangFile(const std::string& path);
  const std::string& LangFile() const { return path_; }

 private:
  std::string path_;  // empty: every lookup yields its default; kept whole, never cut
};

utlanchg* GetLanchg();

// The language file of a language choice: 0 ProgramDir() + "langchs.ini",
// 1 ProgramDir() + "langeng.ini", any other value none (every lookup its default).
std::string LangFileFor(int langSelect);

// The file's value, or defaultText when the file, section or key is missing; at
// most 511 bytes of GBK text, cut on a character boundary.
QString GetLangString(const std::string& section, const std::string& key,
                      const QString& defaultText);

// Sets the captions and item texts of the form's components by component name.
// Widgets carry their original component class in the dynamic property
// "componentClass" and their component name as objectName; the class is matched
// exactly. Captions use the key <name>; combo items, list-view columns (header of
// a QTreeWidget, QTableWidget or a view's model) and value-list lines use
// <name>_TC<j>. An empty or missing text keeps the design text. Menu items and
// actions are QActions (or QMenus) among the form's descendants. Other windows
// parented to the form are left to translate themselves.
void TranslateForm(const std::string& section, QWidget* form);

// For forms: translates the form with TranslateForm every time it is shown, so a
// form only calls this once from its constructor. The label of a "TLabeledEdit"
// is the QLabel whose buddy is the edit; a "TTabSheet" is a QTabWidget page.
void TranslateOnShow(const std::string& section, QWidget* form);
