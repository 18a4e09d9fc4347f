#include "app/clickablelabel.h"

#include <QMouseEvent>

namespace ov {

ClickableLabel::ClickableLabel(QWidget *parent, Qt::WindowFlags f) : QLabel(parent, f) {}

void ClickableLabel::mousePressEvent(QMouseEvent *event)
{
    Q_EMIT clicked(int(event->buttons()));
    QLabel::mousePressEvent(event);
}

} // namespace ov
