#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QTreeWidget>

#include "Fun_CheckUnloadMode.h"
#include "Fun_EasyVersion.h"
#include "Fun_FindRootContainer.h"
#include "Fun_FontSize.h"
#include "Fun_InlineIf.h"
#include "Fun_ListViewOperate.h"
#include "Fun_SelText.h"
#include "ScriptedMessageHost.h"

namespace {

QTreeWidgetItem* AddRow(QTreeWidget* list, const QStringList& texts, bool checkBox) {
    auto* item = new QTreeWidgetItem(list, texts);
    if (checkBox)
        item->setCheckState(0, Qt::Unchecked);
    return item;
}

QStringList Column(const QTreeWidget* list, int column) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts.append(list->topLevelItem(i)->text(column));
    return texts;
}

TEST(ListViewOperate, FitsColumnsToHeaderOrWidestCell) {
    for (const bool checkBoxes : {false, true}) {
        QTreeWidget list;
        list.setHeaderLabels({"Long header text", "B", "C"});
        AddRow(&list, {"a", "a much longer cell text", "c"}, checkBoxes);
        AddRow(&list, {"bb", "x", "cc"}, checkBoxes);
        const QFontMetrics fm(list.font());
        Fun_ListViewOperate::FitColumnWidths(&list);
        EXPECT_EQ(list.columnWidth(0), fm.horizontalAdvance("Long header text") + 20);
        EXPECT_EQ(list.columnWidth(1), fm.horizontalAdvance("a much longer cell text") + 14);
        EXPECT_EQ(list.columnWidth(2),
                  qMax(fm.horizontalAdvance("C") + 20, fm.horizontalAdvance("cc") + 14));

        // A long first-column cell: 14 px, and 20 px more with check boxes.
        list.topLevelItem(0)->setText(0, "a first column text wider than its header");
        list.setColumnWidth(1, 40);
        Fun_ListViewOperate::FitColumnWidths(&list, 0);
        EXPECT_EQ(list.columnWidth(0),
                  fm.horizontalAdvance("a first column text wider than its header") + 14 +
                      (checkBoxes ? 20 : 0));
        EXPECT_EQ(list.columnWidth(1), 40);  // only the named column is fitted
    }
}

TEST(ListViewOperate, HeaderClicksAlternateAndAnotherColumnStartsAscending) {
    QTreeWidget list;
    list.setHeaderLabels({"A", "B"});
    AddRow(&list, {"b", "1"}, true);
    AddRow(&list, {"c", "3"}, true);
    AddRow(&list, {"a", "2"}, true);
    const QStringList up{"a", "b", "c"};
    const QStringList down{"c", "b", "a"};

    Fun_ListViewOperate::SortByColumn(&list, 0);
    EXPECT_EQ(Column(&list, 0), up);
    EXPECT_EQ(Fun_ListViewOperate::SortTag(&list, 0), "asc");
    Fun_ListViewOperate::SortByColumn(&list, 0);
    EXPECT_EQ(Column(&list, 0), down);
    EXPECT_EQ(Fun_ListViewOperate::SortTag(&list, 0), "desc");
    Fun_ListViewOperate::SortByColumn(&list, 0);
    EXPECT_EQ(Column(&list, 0), up);

    Fun_ListViewOperate::SortByColumn(&list, 1);
    EXPECT_EQ(Column(&list, 1), (QStringList{"1", "2", "3"}));
    Fun_ListViewOperate::SortByColumn(&list, 1);
    EXPECT_EQ(Column(&list, 1), (QStringList{"3", "2", "1"}));
    EXPECT_EQ(list.header()->sortIndicatorSection(), 1);
    EXPECT_EQ(list.header()->sortIndicatorOrder(), Qt::DescendingOrder);
    // Back to the first column: it was not the sort key, so ascending again.
    Fun_ListViewOperate::SortByColumn(&list, 0);
    EXPECT_EQ(Column(&list, 0), up);
}

TEST(FormUtilities, RootContainerTextSizeAndSelection) {
    QMainWindow form;
    auto* panel = new QWidget(&form);
    auto* edit = new QLineEdit(panel);
    EXPECT_EQ(Fun_FindRootContainer::FindRootContainer(edit, true), &form);
    EXPECT_EQ(Fun_FindRootContainer::FindRootContainer(&form, true), &form);
    QObject owner;
    form.setParent(nullptr);
    auto* plain = new QObject(&owner);
    EXPECT_EQ(Fun_FindRootContainer::FindRootContainer(plain, false), &owner);

    const QFontMetrics fm(edit->font());
    EXPECT_EQ(Fun_FontSize::TextSize(edit, "abc").width(), fm.horizontalAdvance("abc"));
    const QFont before = edit->font();
    const QSize bigger = Fun_FontSize::TextSize(edit, "abc", QString(), before.pointSizeF() * 3);
    EXPECT_GT(bigger.width(), fm.horizontalAdvance("abc"));
    EXPECT_GT(Fun_FontSize::TextSize(edit, "a\nb").height(), fm.height());
    EXPECT_EQ(edit->font(), before);

    edit->setText("hello");
    Fun_SelText::SelectAllText(edit);
    EXPECT_EQ(edit->selectedText(), "hello");
    edit->clear();
    Fun_SelText::SelectAllText(edit);
    EXPECT_FALSE(edit->hasSelectedText());
    QLabel label("not editable");
    Fun_SelText::SelectAllText(&label);
    Fun_SelText::SelectAllText(nullptr);  // nothing focused: nothing happens
}

TEST(FormUtilities, VersionBoxInlineIfAndUnloadModes) {
    ScriptedMessageHost host;
    QCoreApplication::setApplicationVersion("2.5.7");
    Fun_EasyVersion::EasyVersion(host, "the makers");
    QCoreApplication::setApplicationVersion(QString());
    ASSERT_EQ(host.shown.size(), 1);
    EXPECT_EQ(host.shown[0].text, "SkerrowEx v2.5.7\r\n\r\nby the makers");
    EXPECT_EQ(host.shown[0].title, "ﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(host.shown[0].icon, MsgIcon::Information);
    EXPECT_EQ(host.shown[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(Fun_EasyVersion::VersionText("x"), "SkerrowEx v1.0.0\r\n\r\nby x");

    EXPECT_EQ(Fun_InlineIf::InlineIf(QString("text"), QString("fb")), "text");
    EXPECT_EQ(Fun_InlineIf::InlineIf(QString(), QString("fb")), "fb");
    EXPECT_EQ(Fun_InlineIf::InlineIf(QVariant(), QVariant(5)), QVariant(5));
    EXPECT_EQ(Fun_InlineIf::InlineIf(QVariant(QString()), QVariant(5)), QVariant(5));
    EXPECT_EQ(Fun_InlineIf::InlineIf(QVariant(0), QVariant(5)), QVariant(0));

    EXPECT_FALSE(Fun_CheckUnloadMode::CheckUnloadMode(0));
    EXPECT_FALSE(Fun_CheckUnloadMode::CheckUnloadMode(1));
    EXPECT_TRUE(Fun_CheckUnloadMode::CheckUnloadMode(2));
    EXPECT_TRUE(Fun_CheckUnloadMode::CheckUnloadMode(3));
}

}  // namespace
