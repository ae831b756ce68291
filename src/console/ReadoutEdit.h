#pragma once

#include <QFont>
#include <QLineEdit>
#include <QPixmap>
#include <QString>
#include <vector>

// A read-only line edit that shows a value the program sets ten times a
// second. The temperature's large digits are too big for the glyph cache
// and are filled as outlines at every paint, most of the program's time
// while reading. This edit keeps the last few paintings of itself, each for
// the exact state it was painted in, and shows the kept picture when the
// same state comes back: a reading that goes back and forth between a few
// values costs a copy, and the screen stays the same pixel for pixel.
// A picture is made as the text changes (a widget cannot paint itself into
// a picture while it paints). While the user is in it (focus, selection),
// it paints as any line edit does.
class ReadoutEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit ReadoutEdit(QWidget *parent = nullptr);

    // Fills the edit with a picture of what lies beneath it. Only an edit
    // with an opaque picture keeps its paintings.
    void setBackgroundPicture(const QPixmap &beneath);

    // Off by default: every paint is a plain line edit's. Worth it for a
    // read-out whose text changes at nearly every read.
    void setPaintingKept(bool on);
    bool paintingKept() const { return m_keep; }
    // How many paintings are kept, for the tests.
    std::size_t keptPaintings() const { return m_kept.size(); }
    // How many paintings were made to be kept.
    std::size_t paintingsMade() const { return m_made; }

    static constexpr std::size_t MaxKept = 4;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Everything a line edit's painting depends on when nobody is using it.
    struct State
    {
        QString text;
        QString placeholder;
        int cursor = 0;
        int alignment = 0;
        int echoMode = 0;
        bool frame = false;
        bool enabled = false;
        bool active = false;
        bool underMouse = false;
        QMargins margins;
        QSize size;
        qreal ratio = 1;
        qint64 palette = 0;
        QFont font;
        const void *style = nullptr;
        bool operator==(const State &) const = default;
    };
    struct Kept
    {
        State state;
        QPixmap picture;
    };

    bool mayKeep() const;
    State state() const;
    const QPixmap *keptPicture(const State &s);
    void keepPainting();
    void paintBackground();

    std::vector<Kept> m_kept; // most recently used first
    std::size_t m_made = 0;
    bool m_keep = false;
    bool m_paintingPlain = false;
};
