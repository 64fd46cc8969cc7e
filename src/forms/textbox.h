#pragma once

#include "forms/color.h"

#include <QLineEdit>

// A one-line text box. change() follows every change of its text, typed or
// assigned; for an assignment it runs inside setText(), before it returns.
//
// A text assigned may hold names decoded from bytes that are not UTF-8
// (files/filename.h). The box shows those bytes as U+FFFD, and text()
// gives back the text as assigned for as long as what is shown is unedited;
// once edited, text() is what the box shows, as typed.
class TextBox : public QLineEdit
{
    Q_OBJECT

public:
    explicit TextBox(QWidget *parent);

    QString text() const;
    void setText(const QString &text);
    void setBackColor(Color color);

signals:
    void change();

private:
    QString m_assigned; // the last text assigned, exactly
};
