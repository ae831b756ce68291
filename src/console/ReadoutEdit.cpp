#include "ReadoutEdit.h"

#include <QEvent>
#include <QPainter>
#include <QWindow>
#include <algorithm>

ReadoutEdit::ReadoutEdit(QWidget *parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, [this] { keepPainting(); });
}

void ReadoutEdit::setBackgroundPicture(const QPixmap &beneath)
{
    // A role the line edit's style does not draw with: the window colour
    // gives the style its frame colour and must stay a colour.
    QPalette p = palette();
    p.setBrush(QPalette::AlternateBase, QBrush(beneath));
    setPalette(p);
    setBackgroundRole(QPalette::AlternateBase);
    setAutoFillBackground(true);
    // An opaque picture is painted here, not by Qt: Qt fills a texture as
    // tall as the temperature's on helper threads, and waking them cost
    // more than the fill itself.
    setAttribute(Qt::WA_OpaquePaintEvent, !beneath.isNull() && !beneath.hasAlpha());
}

void ReadoutEdit::setPaintingKept(bool on)
{
    m_keep = on;
    m_kept.clear();
    update();
}

bool ReadoutEdit::mayKeep() const
{
    // The kept picture is drawn whole, with what lies beneath it: only an
    // opaque background makes it the same as painting afresh.
    return m_keep && !m_paintingPlain && testAttribute(Qt::WA_OpaquePaintEvent) && isReadOnly() &&
           !hasFocus() && !hasSelectedText() && isVisible();
}

ReadoutEdit::State ReadoutEdit::state() const
{
    State s;
    s.text = text();
    s.placeholder = placeholderText();
    s.cursor = cursorPosition();
    s.alignment = static_cast<int>(alignment());
    s.echoMode = static_cast<int>(echoMode());
    s.frame = hasFrame();
    s.enabled = isEnabled();
    s.active = isActiveWindow();
    s.underMouse = underMouse();
    s.margins = textMargins();
    s.size = size();
    s.ratio = devicePixelRatioF();
    s.palette = palette().cacheKey();
    s.font = font();
    s.style = style();
    return s;
}

const QPixmap *ReadoutEdit::keptPicture(const State &s)
{
    const auto found =
        std::find_if(m_kept.begin(), m_kept.end(), [&s](const Kept &k) { return k.state == s; });
    if (found == m_kept.end())
        return nullptr;
    std::rotate(m_kept.begin(), found, found + 1);
    return &m_kept.front().picture;
}

void ReadoutEdit::keepPainting()
{
    // Nothing is painted while the window is hidden or minimised; neither
    // is a picture made.
    const QWindow *shown = window()->windowHandle();
    if (!mayKeep() || !shown || !shown->isExposed())
        return;
    State s = state();
    if (keptPicture(s))
        return;
    QPixmap picture(s.size * s.ratio);
    picture.setDevicePixelRatio(s.ratio);
    // The widget paints itself into the picture exactly as onto the
    // screen: its background first, then the line edit's own painting.
    m_paintingPlain = true;
    render(&picture, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    m_paintingPlain = false;
    ++m_made;
    if (m_kept.size() >= MaxKept)
        m_kept.pop_back();
    m_kept.insert(m_kept.begin(), Kept{std::move(s), std::move(picture)});
}

void ReadoutEdit::paintEvent(QPaintEvent *event)
{
    const QPixmap *picture = mayKeep() ? keptPicture(state()) : nullptr;
    if (picture) {
        QPainter painter(this);
        painter.drawPixmap(0, 0, *picture);
        return;
    }
    if (testAttribute(Qt::WA_OpaquePaintEvent))
        paintBackground();
    QLineEdit::paintEvent(event);
}

void ReadoutEdit::paintBackground()
{
    // What Qt does for a widget that fills its background, the texture
    // drawn from the widget's corner, without the helper threads.
    QPainter painter(this);
    const QBrush brush = palette().brush(backgroundRole());
    const QPixmap texture = brush.style() == Qt::TexturePattern ? brush.texture() : QPixmap();
    const QSize textureSize = texture.isNull() ? QSize() : texture.deviceIndependentSize().toSize();
    if (!texture.isNull() && textureSize.width() >= width() && textureSize.height() >= height())
        painter.drawPixmap(0, 0, texture);
    else if (!texture.isNull())
        painter.drawTiledPixmap(rect(), texture);
    else
        painter.fillRect(rect(), brush);
}

void ReadoutEdit::changeEvent(QEvent *event)
{
    QLineEdit::changeEvent(event);
    // The kept pictures are for the old look; they would never match again.
    switch (event->type()) {
    case QEvent::StyleChange:
    case QEvent::PaletteChange:
    case QEvent::FontChange:
        m_kept.clear();
        break;
    default:
        break;
    }
}

void ReadoutEdit::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    m_kept.clear();
}
