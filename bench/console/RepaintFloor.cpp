// The least a Qt program pays to show a changing value ten times a second:
// a window with one label whose digit changes at every tick of a 100 ms
// timer, nothing else. bench/console/cpu_bench.sh runs it next to the
// program, on the same kind of display, so the program's figure can be
// read against what the toolkit and the display server cost by themselves.
#include <QApplication>
#include <QLabel>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLabel label;
    label.setAlignment(Qt::AlignCenter);
    label.resize(464, 100);
    label.show();
    int tick = 0;
    QTimer timer;
    timer.setInterval(100);
    QObject::connect(&timer, &QTimer::timeout, &label, [&] { label.setText(QString::number(++tick % 10)); });
    timer.start();
    return QApplication::exec();
}
