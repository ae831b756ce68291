#include "AppInfo.h"
#include "QtCommonDialogs.h"
#include "QtMessageBoxes.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

// The real boxes are only built here, never run: their look is what the
// user sees, their modal loop is Qt's.

namespace {

QStringList buttonTexts(const QMessageBox &box)
{
    QStringList texts;
    for (QAbstractButton *b : box.buttons())
        texts << b->text();
    texts.sort();
    return texts;
}

} // namespace

TEST(QtMessageBoxes, MessageHasTitleOkOnlyAndNoIcon)
{
    auto box = QtMessageBoxes::buildMessage(QStringLiteral("Valeur TL incorrecte"), nullptr);
    EXPECT_EQ(box->windowTitle(), AppInfo::title());
    EXPECT_EQ(box->text(), QStringLiteral("Valeur TL incorrecte"));
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(buttonTexts(*box), QStringList{QStringLiteral("OK")});
    EXPECT_EQ(box->escapeButton(), box->buttons().front());
}

TEST(QtMessageBoxes, OkCancelHasInformationIconAndAnnuler)
{
    auto box = QtMessageBoxes::buildOkCancel(QStringLiteral("Branchez le thermostat"), nullptr);
    EXPECT_EQ(box->windowTitle(), AppInfo::title());
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    EXPECT_EQ(buttonTexts(*box), (QStringList{QStringLiteral("Annuler"), QStringLiteral("OK")}));
    ASSERT_NE(box->defaultButton(), nullptr);
    EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("OK"));
    ASSERT_NE(box->escapeButton(), nullptr);
    EXPECT_EQ(box->escapeButton()->text(), QStringLiteral("Annuler"));
}

TEST(QtMessageBoxes, OnlyTheOkButtonAnswersOk)
{
    auto box = QtMessageBoxes::buildOkCancel(QStringLiteral("?"), nullptr);
    // Nothing clicked: the box was closed another way.
    EXPECT_EQ(QtMessageBoxes::answerOf(*box), MessageBoxes::Answer::Cancel);
    for (QAbstractButton *b : box->buttons()) {
        b->click();
        const auto expected =
            b->text() == QStringLiteral("OK") ? MessageBoxes::Answer::Ok : MessageBoxes::Answer::Cancel;
        EXPECT_EQ(QtMessageBoxes::answerOf(*box), expected) << b->text().toStdString();
    }
}

TEST(QtCommonDialogs, SaveDialogPreselectsTheChosenFilterAndDoesNotAskTwice)
{
    const QString filter = QStringLiteral("All Files (*.*);;Text Files(*.txt);;Batch Files (*.bat)");
    for (int selected : {0, 1, 2}) {
        auto dialog = QtCommonDialogs::buildSaveDialog(filter, selected, nullptr);
        EXPECT_EQ(dialog->nameFilters(), filter.split(QStringLiteral(";;")));
        EXPECT_EQ(dialog->selectedNameFilter(), dialog->nameFilters().value(selected));
    }
    auto dialog = QtCommonDialogs::buildSaveDialog(filter, 1, nullptr);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_TRUE(dialog->defaultSuffix().isEmpty());
}
