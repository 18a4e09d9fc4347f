#pragma once

#include <QTextBlockUserData>
#include <QWidget>

namespace ov {

class SourceEdit;

// Marks a line as bookmarked; owned by the document once attached.
class BookmarkData : public QTextBlockUserData
{
public:
    bool bookmark = false;
};

// The editor's gutter. (Stub: painting and clicks come with the gutter work.)
class AddInfoPanel : public QWidget
{
public:
    explicit AddInfoPanel(SourceEdit *editor);

private:
    SourceEdit *editor = nullptr;
};

} // namespace ov
