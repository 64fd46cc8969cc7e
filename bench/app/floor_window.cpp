// The start-up floor: the same content as the preview window's first frame
// drawn the plainest way Qt Widgets allows. One frameless 800 x 600 window
// that paints the built-in background and the six bold Arial menu texts,
// and quits when it is closed.

#include <QApplication>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QWidget>

namespace {

struct MenuText
{
    QRect box;
    const char *text;
};

// Where the preview window's menu items stand.
constexpr MenuText Menu[] = {
    {{35, 49, 95, 19}, "My Collection"},          {{35, 79, 105, 19}, "Full Collection"},
    {{35, 109, 110, 19}, "Desktop settings"},     {{34, 139, 151, 19}, "ScreenSaver settings"},
    {{35, 169, 132, 19}, "Advanced settings"},    {{35, 199, 95, 19}, "Go to Website"},
};

class FloorWindow : public QWidget
{
public:
    FloorWindow() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFixedSize(800, 600);
        m_font = QFont(QStringLiteral("Arial"));
        m_font.setPointSizeF(9.75);
        m_font.setBold(true);
        m_font.setHintingPreference(QFont::PreferFullHinting);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (m_background.isNull())
            m_background = QImage(QStringLiteral(":/background.bmp"));
        QPainter painter(this);
        painter.drawImage(0, 0, m_background);
        painter.setFont(m_font);
        painter.setPen(Qt::black);
        for (const MenuText &item : Menu)
            painter.drawText(item.box, Qt::AlignLeft | Qt::AlignTop, QString::fromLatin1(item.text));
    }

private:
    QImage m_background;
    QFont m_font;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    FloorWindow window;
    window.show();
    return QApplication::exec();
}
