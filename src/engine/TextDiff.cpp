#include "engine/TextDiff.h"

#include <vector>

namespace {
QStringList linesOf(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QString& l : lines)
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
    return lines;
}

struct Op
{
    char Kind;          // ' ', '-', '+'
    qsizetype Old, New; // line indices (0-based) before this op
};
} // namespace

QString TextDiff::Unified(const QString& oldText, const QString& newText, const QString& oldName,
                          const QString& newName, int context)
{
    const QStringList a = linesOf(oldText), b = linesOf(newText);
    if (a == b)
        return QString();
    QString out = QStringLiteral("--- ") + oldName + QStringLiteral("\n+++ ") + newName + QLatin1Char('\n');
    if (a.size() > MaxLines || b.size() > MaxLines)
        return out + QStringLiteral("(too long to compare line by line)\n");
    // Common prefix and suffix first: most edits touch a small part.
    qsizetype head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    qsizetype tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    const qsizetype n = a.size() - head - tail, m = b.size() - head - tail;
    std::vector<std::vector<int>> lcs(size_t(n + 1), std::vector<int>(size_t(m + 1), 0));
    for (qsizetype i = n - 1; i >= 0; --i)
        for (qsizetype j = m - 1; j >= 0; --j)
            lcs[size_t(i)][size_t(j)] = a[head + i] == b[head + j] ? lcs[size_t(i + 1)][size_t(j + 1)] + 1
                                                                   : std::max(lcs[size_t(i + 1)][size_t(j)],
                                                                              lcs[size_t(i)][size_t(j + 1)]);
    std::vector<Op> ops;
    for (qsizetype k = 0; k < head; ++k)
        ops.push_back({' ', k, k});
    qsizetype i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[head + i] == b[head + j]) {
            ops.push_back({' ', head + i, head + j});
            ++i, ++j;
        } else if (i < n && (j == m || lcs[size_t(i + 1)][size_t(j)] >= lcs[size_t(i)][size_t(j + 1)])) {
            ops.push_back({'-', head + i, head + j});
            ++i;
        } else {
            ops.push_back({'+', head + i, head + j});
            ++j;
        }
    }
    for (qsizetype k = 0; k < tail; ++k)
        ops.push_back({' ', head + n + k, head + m + k});

    // Hunks: runs of changes with up to context unchanged lines around them.
    const qsizetype count = qsizetype(ops.size());
    qsizetype k = 0;
    while (k < count) {
        while (k < count && ops[size_t(k)].Kind == ' ')
            ++k;
        if (k == count)
            break;
        qsizetype start = std::max<qsizetype>(0, k - context), end = k;
        while (end < count) {
            if (ops[size_t(end)].Kind != ' ') {
                ++end;
                continue;
            }
            qsizetype run = end;
            while (run < count && ops[size_t(run)].Kind == ' ')
                ++run;
            if (run == count || run - end > 2 * context) {
                end = std::min(count, end + context);
                break;
            }
            end = run;
        }
        qsizetype oldCount = 0, newCount = 0;
        QString body;
        for (qsizetype x = start; x < end; ++x) {
            const Op& op = ops[size_t(x)];
            if (op.Kind != '+')
                ++oldCount;
            if (op.Kind != '-')
                ++newCount;
            body += QLatin1Char(op.Kind) + (op.Kind == '+' ? b[op.New] : a[op.Old]) + QLatin1Char('\n');
        }
        const Op& first = ops[size_t(start)];
        out += QStringLiteral("@@ -%1,%2 +%3,%4 @@\n")
                   .arg(oldCount ? first.Old + 1 : first.Old)
                   .arg(oldCount)
                   .arg(newCount ? first.New + 1 : first.New)
                   .arg(newCount) +
               body;
        k = end;
    }
    return out;
}
