#pragma once

#include <QLabel>

namespace ov {

// A label that reports mouse presses, for the status bar's line and
// overwrite indicators.
class ClickableLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ClickableLabel(QWidget *parent = nullptr, Qt::WindowFlags f = Qt::WindowFlags());

Q_SIGNALS:
    // The state of all mouse buttons at the press.
    void clicked(int button);

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

} // namespace ov
