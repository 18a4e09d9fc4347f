#pragma once

#include <map>
#include <QObject>
#include <QSet>
#include <QString>

#include "editor/core/documentjournal.h"

namespace ov {

class MainView;
class SourceEdit;

// Gives every editor its journal of unsaved changes, and offers the
// journals that a session which ended without closing has left: once per
// file, at start-up or when the file is opened.
class DocumentRecovery : public QObject
{
    Q_OBJECT

public:
    enum Answer { Recover, Discard, Later };

    explicit DocumentRecovery(MainView *view);

    // Asks about every journal that no running editor holds and opens the
    // files whose changes are to be recovered.
    void recoverOrphans();
    // A new editor: journals its changes and offers a journal left for its file.
    void attach(SourceEdit *editor);

    static QString absolutePath(const QString &path);

private:
    struct Found {
        JournalSlot slot;
        RecoveredDocument document;
    };

    // Reads a journal whole; one that cannot be read is set aside and the
    // user is told why.
    bool readWhole(JournalSlot &slot, RecoveredDocument *document);
    Answer ask(const RecoveredDocument &document);
    void apply(SourceEdit *editor, DocumentJournal *journal, Found found);

    MainView *view;
    QSet<QString> asked;           // journals asked about in this session
    std::map<QString, Found> approved; // by file: to recover when the file opens
};

} // namespace ov
