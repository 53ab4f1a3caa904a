#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidget>
#include <fstream>

#include "data/lanchg.h"
#include "platform/gbk.h"
#include "support/tempdir.h"

namespace {

// Points the language holder at a GBK file with the given UTF-8 content for one test.
class LangFile {
 public:
  explicit LangFile(const std::string& utf8, const std::string& name = "lang.ini")
      : saved_(GetLanchg()->LangFile()) {
    path_ = dir_.file(name);
    std::ofstream(path_, std::ios::binary) << gbk::FromUtf8(utf8);
    GetLanchg()->SetLangFile(path_);
  }
  ~LangFile() { GetLanchg()->SetLangFile(saved_); }
  const std::string& path() const { return path_; }
  const TempDir& dir() const { return dir_; }

 private:
  std::string saved_;
  TempDir dir_;
  std::string path_;
};

template <typename W>
W* Add(QWidget* parent, const char* name, const char* cls, const QString& text = {}) {
  auto* w = new W(parent);
  w->setObjectName(name);
  if (cls) w->setProperty("componentClass", QString::fromLatin1(cls));
  if constexpr (std::is_base_of_v<QLabel, W> || std::is_base_of_v<QAbstractButton, W>) {
    w->setText(text);
  }
  return w;
}

// A small form with one component of each kind the translation knows.
struct Form {
  QWidget form;
  QLabel* lbl1 = Add<QLabel>(&form, "lbl1", "TLabel", "标签");
  QLabel* lblEmpty = Add<QLabel>(&form, "lblEmpty", "TLabel", "设计");
  QLabel* lblDerived = Add<QLabel>(&form, "lblDerived", "TMyLabel", "派生");
  QLabel* lblUntagged = Add<QLabel>(&form, "lblUntagged", nullptr, "无");
  QPushButton* btn1 = Add<QPushButton>(&form, "btn1", "TButton", "按钮");
  QPushButton* bbt1 = Add<QPushButton>(&form, "bbt1", "TBitBtn", "位图");
  QToolButton* spd1 = Add<QToolButton>(&form, "spd1", "TSpeedButton", "快速");
  QToolButton* tb1 = Add<QToolButton>(&form, "tb1", "TToolButton", "工具");
  QCheckBox* chk1 = Add<QCheckBox>(&form, "chk1", "TCheckBox", "选择");
  QRadioButton* rb1 = Add<QRadioButton>(&form, "rb1", "TRadioButton", "单选");
  QGroupBox* grp1 = Add<QGroupBox>(&form, "grp1", "TGroupBox");
  QLabel* pnl1 = Add<QLabel>(&form, "pnl1", "TPanel", "面板");
  QLineEdit* led1 = Add<QLineEdit>(&form, "led1", "TLabeledEdit");
  QLabel* led1Label = Add<QLabel>(&form, "led1Label", nullptr, "编辑");
  QTabWidget* pc1 = Add<QTabWidget>(&form, "pc1", "TPageControl");
  QWidget* ts1 = Add<QWidget>(pc1, "ts1", "TTabSheet");
  QWidget* ts2 = Add<QWidget>(pc1, "ts2", "TTabSheet");
  QComboBox* cb1 = Add<QComboBox>(&form, "cb1", "TComboBox");
  QTreeWidget* lv1 = Add<QTreeWidget>(&form, "lv1", "TListView");
  QTableView* lv2 = Add<QTableView>(&form, "lv2", "TListView");
  QStandardItemModel model{0, 2};
  QAction* mi1 = new QAction("菜单", &form);
  QDialog* child = new QDialog(&form);  // another window: translates itself
  QLabel* childLabel = Add<QLabel>(child, "lbl1", "TLabel", "子窗口");

  Form() {
    grp1->setTitle("分组");
    led1Label->setBuddy(led1);
    pc1->addTab(ts1, "页一");
    pc1->addTab(ts2, "页二");
    cb1->addItems({"甲", "乙", "丙"});
    cb1->setCurrentIndex(2);
    lv1->setHeaderLabels({"时间", "通道", "报警"});
    model.setHorizontalHeaderLabels({"开始", "结束"});
    lv2->setModel(&model);
    mi1->setObjectName("mi1");
    mi1->setProperty("componentClass", "TMenuItem");
  }
  QString ColumnText(int j) const { return lv1->headerItem()->text(j); }
  QString ModelHeader(int j) const { return model.headerData(j, Qt::Horizontal).toString(); }
};

const char* kEnglish =
    "[frmTest]\n"
    "lbl1=Label\n"
    "lblEmpty=\n"
    "lblDerived=Derived\n"
    "lblUntagged=Untagged\n"
    "btn1=Button\n"
    "bbt1=Bitmap\n"
    "spd1=Speed\n"
    "tb1=Tool\n"
    "chk1=Check\n"
    "rb1=Radio\n"
    "grp1=Group\n"
    "pnl1=Panel\n"
    "led1=Edit\n"
    "pc1=Pages\n"
    "ts2=Page two\n"
    "cb1_TC0=A\n"
    "cb1_TC2=C\n"
    "lv1_TC0=Time\n"
    "lv1_TC1=\n"
    "lv1_TC2=Alarm\n"
    "lv2_TC1=End\n"
    "mi1=Menu\n";

}  // namespace

TEST(LangString, LooksUpTheFileOrGivesTheDefault) {
  {
    LangFile none("");
    GetLanchg()->SetLangFile("");
    EXPECT_EQ(GetLangString("utPubParam", "Error1", "结束时间小于开始时间"),
              QString::fromUtf8("结束时间小于开始时间"));
  }
  std::string long300;
  for (int i = 0; i < 300; ++i) long300 += "通";
  LangFile lang("[utPubParam]\nError1=End before start\nError2=记录时间\nlong=" + long300 + "\n");
  EXPECT_EQ(GetLangString("utPubParam", "Error1", "x"), "End before start");
  EXPECT_EQ(GetLangString("UTPUBPARAM", "error2", "x"), QString::fromUtf8("记录时间"));
  EXPECT_EQ(GetLangString("utPubParam", "Error9", "缺省"), QString::fromUtf8("缺省"));
  EXPECT_EQ(GetLangString("frmQuna", "Error1", "缺省"), QString::fromUtf8("缺省"));
  // 600 bytes of text through the 512-byte buffer: 255 whole characters.
  EXPECT_EQ(GetLangString("utPubParam", "long", "").size(), 255);
}

TEST(LangString, LongPathIsKeptWhole) {
  TempDir dir;
  std::string folder = dir.path();
  while (folder.size() < 300) folder += std::string(40, 'd') + "/";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
  std::ofstream(folder + "langeng.ini", std::ios::binary) << "[s]\nk=found\n";
  const std::string saved = GetLanchg()->LangFile();
  GetLanchg()->SetLangFile(folder + "langeng.ini");
  EXPECT_EQ(GetLanchg()->LangFile(), folder + "langeng.ini");
  EXPECT_EQ(GetLangString("s", "k", "default"), "found");
  GetLanchg()->SetLangFile(saved);
}

TEST(Translate, EveryKnownClassTakesItsTextAndOnlyThose) {
  LangFile lang(kEnglish);
  Form f;
  TranslateForm("frmTest", &f.form);
  EXPECT_EQ(f.lbl1->text(), "Label");
  EXPECT_EQ(f.btn1->text(), "Button");
  EXPECT_EQ(f.bbt1->text(), "Bitmap");
  EXPECT_EQ(f.spd1->text(), "Speed");
  EXPECT_EQ(f.chk1->text(), "Check");
  EXPECT_EQ(f.rb1->text(), "Radio");
  EXPECT_EQ(f.grp1->title(), "Group");
  EXPECT_EQ(f.pnl1->text(), "Panel");
  EXPECT_EQ(f.led1Label->text(), "Edit");
  EXPECT_EQ(f.pc1->tabText(1), "Page two");
  EXPECT_EQ(f.mi1->text(), "Menu");
  // Combo items replaced by position; the selection stays where it was.
  EXPECT_EQ(f.cb1->itemText(0), "A");
  EXPECT_EQ(f.cb1->itemText(1), QString::fromUtf8("乙"));
  EXPECT_EQ(f.cb1->itemText(2), "C");
  EXPECT_EQ(f.cb1->currentIndex(), 2);
  EXPECT_EQ(f.cb1->currentText(), "C");
  // List columns: keys lv1_TC0.., an empty value keeps the design text.
  EXPECT_EQ(f.ColumnText(0), "Time");
  EXPECT_EQ(f.ColumnText(1), QString::fromUtf8("通道"));
  EXPECT_EQ(f.ColumnText(2), "Alarm");
  EXPECT_EQ(f.ModelHeader(0), QString::fromUtf8("开始"));
  EXPECT_EQ(f.ModelHeader(1), "End");
  // What stays as designed.
  EXPECT_EQ(f.lblEmpty->text(), QString::fromUtf8("设计"));     // key with an empty value
  EXPECT_EQ(f.lblDerived->text(), QString::fromUtf8("派生"));   // another class name
  EXPECT_EQ(f.lblUntagged->text(), QString::fromUtf8("无"));    // no class at all
  EXPECT_EQ(f.tb1->text(), QString::fromUtf8("工具"));          // tool buttons keep theirs
  EXPECT_EQ(f.pc1->tabText(0), QString::fromUtf8("页一"));      // no key
  EXPECT_EQ(f.childLabel->text(), QString::fromUtf8("子窗口"));  // another window's label
  EXPECT_EQ(f.form.windowTitle(), QString());                   // the title is not handled
}

TEST(Translate, NoLanguageFileLeavesEveryCaption) {
  LangFile lang(kEnglish);
  GetLanchg()->SetLangFile("");
  Form f;
  TranslateForm("frmTest", &f.form);
  EXPECT_EQ(f.lbl1->text(), QString::fromUtf8("标签"));
  EXPECT_EQ(f.cb1->itemText(0), QString::fromUtf8("甲"));
  EXPECT_EQ(f.ColumnText(0), QString::fromUtf8("时间"));
  EXPECT_EQ(f.mi1->text(), QString::fromUtf8("菜单"));
  TranslateForm("frmTest", nullptr);  // harmless
}

TEST(Translate, OnShowTranslatesEachTimeTheFormIsShown) {
  LangFile lang(kEnglish);
  Form f;
  TranslateOnShow("frmTest", &f.form);
  EXPECT_EQ(f.lbl1->text(), QString::fromUtf8("标签"));
  f.form.show();
  EXPECT_EQ(f.lbl1->text(), "Label");
  f.form.hide();
  f.lbl1->setText("changed");
  f.form.show();
  EXPECT_EQ(f.lbl1->text(), "Label");
}
