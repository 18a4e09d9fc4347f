#pragma once

#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "editor/sourceedit.h"
#include "testutil.h"

namespace ovtest {

// An editor on a fresh file of its own, shown offscreen and without a
// document area, holding `text` with an empty undo history.
inline std::unique_ptr<ov::SourceEdit> makeEditor(const QTemporaryDir &dir, const QString &text)
{
    static int serial = 0;
    const QString path = dir.filePath(QStringLiteral("doc%1.php").arg(++serial));
    writeFile(path, QByteArray());
    auto editor = std::make_unique<ov::SourceEdit>(path, nullptr);
    editor->resize(500, 300);
    editor->setPlainText(text);
    editor->show();
    if (!QTest::qWaitForWindowExposed(editor.get()))
        return nullptr;
    return editor;
}

} // namespace ovtest
