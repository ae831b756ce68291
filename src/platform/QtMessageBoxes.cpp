#include "QtMessageBoxes.h"

#include "AppInfo.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

std::unique_ptr<QMessageBox> QtMessageBoxes::buildMessage(const QString &text, QWidget *parent)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, AppInfo::title(), text,
                                             QMessageBox::NoButton, parent);
    QPushButton *ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    return box;
}

std::unique_ptr<QMessageBox> QtMessageBoxes::buildOkCancel(const QString &text, QWidget *parent)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Information, AppInfo::title(), text,
                                             QMessageBox::NoButton, parent);
    QPushButton *ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    QPushButton *cancel = box->addButton(QStringLiteral("Annuler"), QMessageBox::RejectRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(cancel);
    return box;
}

MessageBoxes::Answer QtMessageBoxes::answerOf(const QMessageBox &box)
{
    // Closing the box by its title bar counts as Cancel, like Escape.
    QAbstractButton *clicked = box.clickedButton();
    return clicked && box.buttonRole(clicked) == QMessageBox::AcceptRole ? Answer::Ok : Answer::Cancel;
}

void QtMessageBoxes::message(const QString &text)
{
    buildMessage(text, QApplication::activeWindow())->exec();
}

MessageBoxes::Answer QtMessageBoxes::askOkCancel(const QString &text)
{
    std::unique_ptr<QMessageBox> box = buildOkCancel(text, QApplication::activeWindow());
    box->exec();
    return answerOf(*box);
}
