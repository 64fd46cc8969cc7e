#include "forms/textbox.h"

#include "files/filename.h"

TextBox::TextBox(QWidget *parent) : QLineEdit(parent)
{
    setBackColor(SystemColor::WindowBackground);
    connect(this, &QLineEdit::textChanged, this, &TextBox::change);
}

QString TextBox::text() const
{
    const QString shown = QLineEdit::text();
    return shown == displayFileName(m_assigned) ? m_assigned : shown;
}

void TextBox::setText(const QString &text)
{
    const QString before = this->text();
    m_assigned = text;
    const QString shown = displayFileName(text);
    if (shown != QLineEdit::text())
        QLineEdit::setText(shown); // raises change() through textChanged
    else if (text != before)
        emit change(); // another text that shows the same
}

void TextBox::setBackColor(Color color)
{
    // A thin sunken field that leaves room for an 8-point line in 18 pixels.
    setStyleSheet(QStringLiteral("QLineEdit { padding: 0px 1px; border: 1px solid #808080;"
                                 " background: %1; }")
                      .arg(color.resolve(palette()).name()));
}
