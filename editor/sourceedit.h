#pragma once

#include <QPlainTextEdit>

namespace ov {

class MainView;

// The editor of one file. (Stub: the editor core comes with the foundation work.)
class SourceEdit : public QPlainTextEdit
{
    Q_OBJECT

public:
    SourceEdit(QString fileName, MainView *parent);
};

} // namespace ov
