#pragma once

#include <QPixmap>
#include <QWidget>
#include <functional>

class QLabel;
class QTimer;

// The first window of the program: product, version and maker for three
// seconds, then it closes itself and hands over to the main window.
class Form_splash : public QWidget
{
    Q_OBJECT
public:
    static constexpr int HandOverDelayMs = 3000;

    // `showMain` creates and shows the main window; it runs once, from the
    // timer, after this window has closed. The splash deletes itself on
    // closing.
    explicit Form_splash(std::function<void()> showMain, int handOverDelayMs = HandOverDelayMs);

    // Creates the splash and shows it centred on the screen.
    static Form_splash *showSplash(std::function<void()> showMain);

    QLabel *Label5;
    QLabel *Label3;
    QLabel *lblVersion;
    QLabel *Label4;
    QLabel *Label6;
    QLabel *Image1;
    QTimer *Timer2;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void Timer2_Timer();

    std::function<void()> m_showMain;
    QPixmap m_background;
};
