#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>

#include "data/lanchg.h"
#include "platform/gbk.h"
#include "support/files.h"

namespace {

// Writes a GBK language file with the given UTF-8 content and makes it the chosen one.
void UseLangFile(const std::string& path, const std::string& utf8) {
  WriteBytes(path, gbk::FromUtf8(utf8));
  GetLanchg()->SetLangFile(path);
}

template <typename W>
W* Add(QWidget* parent, const char* name, const char* cls, const char* text = "") {
  auto* w = new W(parent);
  w->setObjectName(name);
  if (cls) w->setProperty("componentClass", QString::fromLatin1(cls));
  if constexpr (std::is_base_of_v<QLabel, W> || std::is_base_of_v<QAbstractButton, W>) w->setText(text);
  return w;
}

// A small form with components of the kinds the translation treats differently.
struct Form {
  QWidget form;
  QLabel* lbl1 = Add<QLabel>(&form, "lbl1", "TLabel", "标签");
  QLabel* lblEmpty = Add<QLabel>(&form, "lblEmpty", "TLabel", "设计");
  QLabel* lblDerived = Add<QLabel>(&form, "lblDerived", "TMyLabel", "派生");
  QPushButton* btn1 = Add<QPushButton>(&form, "btn1", "TButton", "按钮");
  QTabWidget* pc1 = Add<QTabWidget>(&form, "pc1", "TPageControl");
  QComboBox* cb1 = Add<QComboBox>(&form, "cb1", "TComboBox");
  QTreeWidget* lv1 = Add<QTreeWidget>(&form, "lv1", "TListView");
  QTableView* lv2 = Add<QTableView>(&form, "lv2", "TListView");
  QStandardItemModel model{0, 2};

  Form() {
    pc1->addTab(Add<QWidget>(pc1, "ts1", "TTabSheet"), "页一");
    pc1->addTab(Add<QWidget>(pc1, "ts2", "TTabSheet"), "页二");
    cb1->addItems({"甲", "乙", "丙"});
    cb1->setCurrentIndex(2);
    lv1->setHeaderLabels({"时间", "通道", "报警"});
    model.setHorizontalHeaderLabels({"开始", "结束"});
    lv2->setModel(&model);
  }
};

const char* kEnglish =
    "[frmTest]\nlbl1=Label\nlblEmpty=\nlblDerived=Derived\nbtn1=Button\npc1=Pages\nts2=Page two\n"
    "cb1_TC0=A\ncb1_TC2=C\nlv1_TC0=Time\nlv1_TC1=\nlv1_TC2=Alarm\nlv2_TC1=End\n";

}  // namespace

TEST(LangString, LooksUpTheFileOrGivesTheDefault) {
  GetLanchg()->SetLangFile("");
  EXPECT_EQ(GetLangString("utPubParam", "Error1", "结束时间小于开始时间"), QString::fromUtf8("结束时间小于开始时间"));

  // The file in a folder whose path is longer than a fixed buffer would hold.
  TempDir dir;
  std::string folder = dir.path();
  while (folder.size() < 300) folder += std::string(40, 'd') + "/";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
  UseLangFile(folder + "lang.ini", "[utPubParam]\nError1=End before start\nError2=记录时间\n");
  EXPECT_EQ(GetLanchg()->LangFile(), folder + "lang.ini");
  EXPECT_EQ(GetLangString("utPubParam", "Error1", "x"), "End before start");
  EXPECT_EQ(GetLangString("UTPUBPARAM", "error2", "x"), QString::fromUtf8("记录时间"));
  EXPECT_EQ(GetLangString("frmQuna", "Error1", "缺省"), QString::fromUtf8("缺省"));
}

TEST(Translate, CaptionsItemsAndColumnsTakeTheirTextsAndOnlyThose) {
  GetLanchg()->SetLangFile("");  // no language file: every caption as designed
  Form design;
  TranslateForm("frmTest", &design.form);
  EXPECT_EQ(design.lbl1->text(), QString::fromUtf8("标签"));
  EXPECT_EQ(design.cb1->itemText(0), QString::fromUtf8("甲"));

  TempDir dir;
  UseLangFile(dir.file("lang.ini"), kEnglish);
  Form f;
  TranslateForm("frmTest", &f.form);
  const std::pair<QString, const char*> translated[] = {
      {f.lbl1->text(), "Label"}, {f.btn1->text(), "Button"}, {f.pc1->tabText(1), "Page two"},
      // Combo items replaced by position; the selection stays where it was.
      {f.cb1->itemText(0), "A"}, {f.cb1->itemText(1), "乙"}, {f.cb1->currentText(), "C"},
      // List columns: keys lv1_TC0.., an empty value keeps the design text.
      {f.lv1->headerItem()->text(0), "Time"}, {f.lv1->headerItem()->text(1), "通道"},
      {f.model.headerData(0, Qt::Horizontal).toString(), "开始"},
      {f.model.headerData(1, Qt::Horizontal).toString(), "End"},
      // What stays as designed: an empty value, another class name, a tab without a key.
      {f.lblEmpty->text(), "设计"}, {f.lblDerived->text(), "派生"}, {f.pc1->tabText(0), "页一"},
  };
  for (const auto& [got, want] : translated) EXPECT_EQ(got, QString::fromUtf8(want));
  EXPECT_EQ(f.cb1->currentIndex(), 2);
}
