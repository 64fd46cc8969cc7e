#pragma once

#include "forms/color.h"

#include <QWidget>

// A transparent text box: its caption is word-wrapped within the box, a
// carriage return and line feed start a new line, and what does not fit is
// clipped. A click anywhere inside the box raises click().
class Label : public QWidget
{
    Q_OBJECT

public:
    explicit Label(QWidget *parent);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    Color foreColor() const { return m_foreColor; }
    void setForeColor(Color color);

signals:
    void click();
    void looksChanged(); // its caption or colour

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QString m_caption;
    Color m_foreColor = SystemColor::ButtonText;
    bool m_pressed = false;
};
