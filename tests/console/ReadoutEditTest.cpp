#include "ReadoutEdit.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QStringList>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// A shown read-out over an opaque picture, as the main window has them,
// with the focus on another control.
struct Readout
{
    QWidget window;
    ReadoutEdit *edit = new ReadoutEdit(&window);
    QLineEdit *entry = new QLineEdit(&window);

    Readout()
    {
        edit->setGeometry(8, 8, 300, 100);
        edit->setReadOnly(true);
        QFont font = edit->font();
        font.setPointSize(72);
        edit->setFont(font);
        edit->setAlignment(Qt::AlignCenter);
        QPixmap beneath(edit->size());
        beneath.fill(QColor(200, 210, 220));
        edit->setBackgroundPicture(beneath);
        edit->setPaintingKept(true);
        entry->setGeometry(8, 110, 100, 20);
        window.resize(320, 140);
        window.show();
        entry->setFocus();
        QApplication::processEvents();
    }

    QImage painted() { return edit->grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

QString temperature(int tenths)
{
    return QStringLiteral("+ %1,%2 °C").arg(tenths / 10).arg(tenths % 10);
}

} // namespace

TEST(ReadoutEdit, AKeptPaintingIsTheLineEditsOwnPainting)
{
    Readout r;
    for (const QString &text : {temperature(198), QStringLiteral("Capteur absent"), QString()}) {
        r.edit->setText(text);
        r.edit->setPaintingKept(true);
        const std::size_t before = r.edit->paintingsMade();
        r.edit->setText(QStringLiteral("x"));
        r.edit->setText(text); // kept as the text came
        const std::size_t made = r.edit->paintingsMade();
        ASSERT_EQ(made, before + 2);
        const QImage kept = r.painted();
        EXPECT_EQ(r.edit->paintingsMade(), made) << "painted afresh instead of kept: " << text.toStdString();
        r.edit->setPaintingKept(false);
        EXPECT_EQ(r.painted(), kept) << text.toStdString();
    }
}

TEST(ReadoutEdit, KeepsTheLastFewAndPaintsAnewWhenItsLookOrItsUserChangesIt)
{
    Readout r;
    for (int t = 0; t < int(ReadoutEdit::MaxKept) + 2; ++t)
        r.edit->setText(temperature(200 + t));
    EXPECT_EQ(r.edit->keptPaintings(), ReadoutEdit::MaxKept);

    // Back to a recent value: shown from what was kept.
    std::size_t made = r.edit->paintingsMade();
    r.edit->setText(temperature(205));
    EXPECT_EQ(r.edit->paintingsMade(), made);
    // One that fell out of the few: painted again.
    r.edit->setText(temperature(200));
    EXPECT_EQ(r.edit->paintingsMade(), made + 1);

    // A new font makes every kept painting wrong.
    QFont font = r.edit->font();
    font.setPointSize(48);
    r.edit->setFont(font);
    EXPECT_EQ(r.edit->keptPaintings(), 0u);

    // While the user is in it, it paints as any line edit.
    r.edit->setFocus();
    r.edit->selectAll();
    made = r.edit->paintingsMade();
    r.edit->setText(temperature(300));
    r.edit->selectAll();
    r.edit->setText(temperature(301));
    EXPECT_EQ(r.edit->paintingsMade(), made);
}
