#include "data/lanchg.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVariant>
#include <functional>
#include <vector>

#include "platform/appdir.h"
#include "platform/profile.h"

void utlanchg::SetLangFile(const std::string& path) { path_ = path; }

utlanchg* GetLanchg() {
  // Created on first use and kept for the life of the process.
  static utlanchg* holder = new utlanchg();
  return holder;
}

std::string LangFileFor(int langSelect) {
  if (langSelect == 0) return ProgramDir() + "langchs.ini";
  if (langSelect == 1) return ProgramDir() + "langeng.ini";
  return {};
}

QString GetLangString(const std::string& section, const std::string& key,
                      const QString& defaultText) {
  constexpr std::size_t kTextBuffer = 512;
  return GetProfileText(QString::fromStdString(section), QString::fromStdString(key),
                        defaultText, kTextBuffer, GetLanchg()->LangFile());
}

namespace {

// The form's own components: its descendants, but not those of other windows
// parented to it (dialogs translate themselves with their own section). A menu
// is a window of its own yet belongs to the form.
void CollectComponents(QObject* parent, std::vector<QObject*>& out) {
  for (QObject* child : parent->children()) {
    auto* w = qobject_cast<QWidget*>(child);
    if (w && w->isWindow() && !qobject_cast<QMenu*>(w)) continue;
    out.push_back(child);
    CollectComponents(child, out);
  }
}

void SetCaption(QObject* c, const QString& text) {
  if (auto* a = qobject_cast<QAction*>(c)) a->setText(text);
  else if (auto* m = qobject_cast<QMenu*>(c)) m->setTitle(text);
  else if (auto* l = qobject_cast<QLabel*>(c)) l->setText(text);
  else if (auto* b = qobject_cast<QAbstractButton*>(c)) b->setText(text);
  else if (auto* g = qobject_cast<QGroupBox*>(c)) g->setTitle(text);
}

// A tab page lives in the tab widget's stack; its caption is the tab text.
void SetTabCaption(QObject* c, const QString& text) {
  auto* page = qobject_cast<QWidget*>(c);
  if (!page) return;
  auto* stack = qobject_cast<QStackedWidget*>(page->parentWidget());
  auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
  if (!tabs) return;
  int index = tabs->indexOf(page);
  if (index >= 0) tabs->setTabText(index, text);
}

// The label of a labelled edit is the label whose buddy it is.
void SetEditLabel(QObject* c, const QString& text, const std::vector<QObject*>& all) {
  for (QObject* o : all) {
    auto* label = qobject_cast<QLabel*>(o);
    if (label && label->buddy() == c) {
      label->setText(text);
      return;
    }
  }
}

void ForEachItem(const std::string& section, const std::string& name, int count,
                 const std::function<void(int, const QString&)>& set) {
  for (int j = 0; j < count; ++j) {
    QString text = GetLangString(section, name + "_TC" + std::to_string(j), QString());
    if (!text.isEmpty()) set(j, text);
  }
}

void TranslateColumns(const std::string& section, const std::string& name, QObject* c) {
  if (auto* tree = qobject_cast<QTreeWidget*>(c)) {
    QTreeWidgetItem* header = tree->headerItem();
    ForEachItem(section, name, tree->columnCount(),
                [&](int j, const QString& t) { header->setText(j, t); });
  } else if (auto* table = qobject_cast<QTableWidget*>(c)) {
    ForEachItem(section, name, table->columnCount(), [&](int j, const QString& t) {
      if (QTableWidgetItem* item = table->horizontalHeaderItem(j)) item->setText(t);
      else table->setHorizontalHeaderItem(j, new QTableWidgetItem(t));
    });
  } else if (auto* view = qobject_cast<QAbstractItemView*>(c); view && view->model()) {
    QAbstractItemModel* model = view->model();
    ForEachItem(section, name, model->columnCount(),
                [&](int j, const QString& t) { model->setHeaderData(j, Qt::Horizontal, t); });
  }
}

// A value list's line j is "name=value"; in a two-column table the name goes to
// the first column and the value to the second.
void TranslateLines(const std::string& section, const std::string& name, QObject* c) {
  if (auto* list = qobject_cast<QListWidget*>(c)) {
    ForEachItem(section, name, list->count(),
                [&](int j, const QString& t) { list->item(j)->setText(t); });
  } else if (auto* table = qobject_cast<QTableWidget*>(c)) {
    ForEachItem(section, name, table->rowCount(), [&](int j, const QString& t) {
      qsizetype eq = t.indexOf('=');
      const QString parts[2] = {eq < 0 ? t : t.left(eq), eq < 0 ? QString() : t.mid(eq + 1)};
      for (int col = 0; col < 2 && col < table->columnCount(); ++col) {
        if (QTableWidgetItem* item = table->item(j, col)) item->setText(parts[col]);
        else table->setItem(j, col, new QTableWidgetItem(parts[col]));
      }
    });
  }
}

class ShowTranslator : public QObject {
 public:
  ShowTranslator(const std::string& section, QWidget* form) : QObject(form), section_(section) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched == parent()) {
      TranslateForm(section_, static_cast<QWidget*>(watched));
    }
    return false;
  }

 private:
  std::string section_;
};

}  // namespace

void TranslateForm(const std::string& section, QWidget* form) {
  if (!form) return;
  std::vector<QObject*> components;
  CollectComponents(form, components);
  for (QObject* c : components) {
    const QString cls = c->property("componentClass").toString();
    if (cls.isEmpty()) continue;
    const std::string name = c->objectName().toStdString();
    const auto text = [&] { return GetLangString(section, name, QString()); };
    if (cls == "TMenuItem" || cls == "TLabel" || cls == "TButton" || cls == "TRadioButton" ||
        cls == "TBitBtn" || cls == "TSpeedButton" || cls == "TCheckBox" || cls == "TPanel" ||
        cls == "TGroupBox" || cls == "TAction") {
      if (QString t = text(); !t.isEmpty()) SetCaption(c, t);
    } else if (cls == "TLabeledEdit") {
      if (QString t = text(); !t.isEmpty()) SetEditLabel(c, t, components);
    } else if (cls == "TTabSheet") {
      if (QString t = text(); !t.isEmpty()) SetTabCaption(c, t);
    } else if (cls == "TComboBox" || cls == "TComboBoxEx") {
      if (auto* combo = qobject_cast<QComboBox*>(c)) {
        // Replacing item texts leaves the current index where it was.
        ForEachItem(section, name, combo->count(),
                    [&](int j, const QString& t) { combo->setItemText(j, t); });
      }
    } else if (cls == "TListView") {
      TranslateColumns(section, name, c);
    } else if (cls == "TValueListEditor") {
      TranslateLines(section, name, c);
    }
    // TToolButton, TStringGrid and any other class keep their texts.
  }
  form->update();
}

void TranslateOnShow(const std::string& section, QWidget* form) {
  if (!form) return;
  form->installEventFilter(new ShowTranslator(section, form));
}
