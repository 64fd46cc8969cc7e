// The start-up baseline: the least a Qt Widgets program does to show an
// 800 x 600 window, and quits when it is closed.

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(800, 600);
    window.show();
    return QApplication::exec();
}
