#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <memory>
#include <vector>

class QTextBlock;
class QTextDocument;

namespace ov {

// Bracket kinds of a scope; any other number means CurlyScope.
enum ScopeType { CurlyScope = 0, RoundScope = 1, SquareScope = 2, AngleScope = 3 };

// Results of a scope search.
enum ScopeResult {
    ScopeFound = 0,      // opening and closing character both found
    ScopeNone = -1,      // neither found
    ScopeNoStart = -2,   // closing found, opening missing
    ScopeNoEnd = -3,     // opening found, closing missing
    ScopeOutside = -10   // the position is not strictly inside the text
};

// The purely textual search: brackets in strings, comments and operators
// such as "->" count like any other.
namespace ScopeSearch {

// Straightforward: scans a copy of the whole text from `pos` to both ends.
// The reference for ScopeFinder and the baseline of its benchmark.
int find(const QString &text, int pos, int &scopeStart, int &scopeEnd, int scopeType);

// The innermost of the four types' answers (s, e, r indexed by type): a
// later type wins when it opens or closes closer to the cursor; ties keep
// the earlier type.
int innermost(const int s[4], const int e[4], const int r[4], int &scopeStart, int &scopeEnd, int &scopeType);

} // namespace ScopeSearch

// ScopeSearch::find's answers on a live document without copying or
// scanning it: bracket balances are kept per line and per run of lines and
// updated from the document's change notices, so a local cursor move costs
// the same in a small file as in a huge one.
class ScopeFinder : public QObject
{
public:
    explicit ScopeFinder(QTextDocument *document, QObject *parent = nullptr);
    ~ScopeFinder() override;

    QTextDocument *document() const { return doc; }

    int find(int pos, int &scopeStart, int &scopeEnd, int scopeType);
    // All four types, then ScopeSearch::innermost.
    int findInnermost(int pos, int &scopeStart, int &scopeEnd, int &scopeType);

    // Balance of one bracket type over a stretch of text: the net count of
    // openings minus closings and the lowest running count (never above 0).
    struct Level {
        int net = 0;
        int min = 0;
    };
    using Summary = std::array<Level, 4>;

private:
    struct Line {
        Summary sum;
        // Long lines also keep one summary per segment of SegmentLength
        // characters so a move inside them need not scan them whole.
        std::unique_ptr<std::vector<Summary>> segments;
    };
    struct Chunk {
        std::vector<Line> lines;
        Summary sum;
        bool dirty = true;
    };

    // Fills s, e, r for the types firstType..lastType; returns r[lastType].
    int search(int pos, int firstType, int lastType, int s[4], int e[4], int r[4]);
    void contentsChange(int position, int charsRemoved, int charsAdded);
    void rebuild();
    void replaceLines(int first, int oldCount, std::vector<Line> &&lines);
    void locate(int block, int *chunk, int *offset) const;
    const Summary &chunkSummary(Chunk &chunk);
    int searchForward(const QTextBlock &block, const QString &text, int rel, int type);
    int searchBackward(const QTextBlock &block, const QString &text, int rel, int type);
    const Line &lineAt(int block);
    // Sums up the long line edited last, if it waits for that.
    void settleStaleLine();

    QTextDocument *doc;
    std::vector<Chunk> chunks;
    int lineCount = 0;
    bool built = false;
    // A long line edited since it was last summed up, or -1. Summing up a
    // long line takes a pass over it; typing in it does not search, so the
    // pass waits for the next search.
    int staleLine = -1;
};

} // namespace ov
