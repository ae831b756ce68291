#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <memory>

// The entry and send controls by their names, as the main window holds them,
// without the rest of the window. Built the way the window builds them: sign
// lists with "+" then "-" and nothing chosen, mode A selected, the
// "Configuration" button hidden, the debug boxes reading "Debug send".
struct EntryForm
{
    std::unique_ptr<QWidget> root = std::make_unique<QWidget>();
    QComboBox *Combo_t1_signe = combo("Combo_t1_signe");
    QComboBox *Combo_t2_signe = combo("Combo_t2_signe");
    QLineEdit *Text_t1_signe = edit("Text_t1_signe");
    QLineEdit *Text_t2_signe = edit("Text_t2_signe");
    QLineEdit *Text_t1_value = edit("Text_t1_value");
    QLineEdit *Text_t2_value = edit("Text_t2_value");
    QLineEdit *Text_t1_dixieme = edit("Text_t1_dixieme");
    QLineEdit *Text_t2_dixieme = edit("Text_t2_dixieme");
    QRadioButton *Option_mode_a = option("Option_mode_a", "Mode A");
    QRadioButton *Option_mode_b = option("Option_mode_b", "Mode B");
    QLabel *Image1 = label("Image1");
    QPushButton *SendRptsBtn = button("SendRptsBtn", "Configuration");
    QLineEdit *Text7 = edit("Text7", "Debug send");
    QLineEdit *Text8 = edit("Text8", "Debug send");

    EntryForm()
    {
        Option_mode_a->setChecked(true);
        Image1->setGeometry(0, 0, 240, 135);
        SendRptsBtn->hide();
    }

    // The user picks an item of a sign list.
    static void choose(QComboBox *list, const QString &item)
    {
        const int index = list->findText(item);
        list->setCurrentIndex(index);
        emit list->activated(index);
    }

private:
    QComboBox *combo(const char *name)
    {
        auto *c = new QComboBox(root.get());
        c->setObjectName(QLatin1String(name));
        c->addItems({QStringLiteral("+"), QStringLiteral("-")});
        c->setCurrentIndex(-1);
        return c;
    }
    QLineEdit *edit(const char *name, const char *text = "")
    {
        auto *e = new QLineEdit(QString::fromUtf8(text), root.get());
        e->setObjectName(QLatin1String(name));
        return e;
    }
    QRadioButton *option(const char *name, const char *caption)
    {
        auto *o = new QRadioButton(QString::fromUtf8(caption), root.get());
        o->setObjectName(QLatin1String(name));
        return o;
    }
    QLabel *label(const char *name)
    {
        auto *l = new QLabel(root.get());
        l->setObjectName(QLatin1String(name));
        return l;
    }
    QPushButton *button(const char *name, const char *caption)
    {
        auto *b = new QPushButton(QString::fromUtf8(caption), root.get());
        b->setObjectName(QLatin1String(name));
        return b;
    }
};
