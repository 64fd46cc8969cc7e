#include "runtime/textbox.h"

TextBox::TextBox(QWidget *parent) : QLineEdit(parent)
{
    setBackColor(SystemColor::WindowBackground);
    connect(this, &QLineEdit::textChanged, this, &TextBox::change);
}

void TextBox::setBackColor(Color color)
{
    // A thin sunken field that leaves room for an 8-point line in 18 pixels.
    setStyleSheet(QStringLiteral("QLineEdit { padding: 0px 1px; border: 1px solid #808080;"
                                 " background: %1; }")
                      .arg(color.resolve(palette()).name()));
}
