#include "hooks/line_diff.h"

#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <vector>

namespace tandrel {

namespace {

QStringList linesOf(const QString& text) {
  if (text.isEmpty()) {
    return {};
  }
  QStringList lines = text.split(u'\n');
  if (text.endsWith(u'\n')) {
    lines.removeLast();
  }
  return lines;
}

enum class Op { keep, remove, add };

struct Step {
  Op op;
  int oldLine;  // index in the old text (keep, remove)
  int newLine;  // index in the new text (keep, add)
};

// A line as the matching sees it: without a final comma, so that a line of a JSON file that only
// gains or loses its comma pairs with itself (shown changed in place) instead of with a line of
// the same text further on.
QStringView matchKey(const QString& line) {
  QStringView key(line);
  if (key.endsWith(u',')) {
    key.chop(1);
  }
  return key;
}

// A shortest edit script between two line lists: the common lines at the start are kept, the
// rest is matched by a longest common subsequence of the lines' match keys (removals before
// additions where both are as short); matched lines that differ in their comma are a removal
// and an addition. (The common lines at the end are matched like the others, so that a user's
// line pairs with its own changed form rather than with a later copy.) A rest too large for the
// table (never a configuration file) is removed and added whole.
std::vector<Step> editScript(const QStringList& a, const QStringList& b) {
  const int n = static_cast<int>(a.size());
  const int m = static_cast<int>(b.size());
  int head = 0;
  while (head < n && head < m && a[head] == b[head]) {
    ++head;
  }
  std::vector<Step> steps;
  for (int i = 0; i < head; ++i) {
    steps.push_back({Op::keep, i, i});
  }
  const int rows = n - head;
  const int columns = m - head;
  const auto cell = [columns](int i, int j) {
    return static_cast<std::size_t>(i) * static_cast<std::size_t>(columns + 1) + static_cast<std::size_t>(j);
  };
  constexpr std::size_t kMaxCells = 16'000'000;
  if (static_cast<std::size_t>(rows + 1) * static_cast<std::size_t>(columns + 1) > kMaxCells) {
    for (int i = 0; i < rows; ++i) {
      steps.push_back({Op::remove, head + i, head});
    }
    for (int j = 0; j < columns; ++j) {
      steps.push_back({Op::add, head + rows, head + j});
    }
  } else {
    // common[i][j]: the longest common subsequence of the middles from line i and line j on.
    std::vector<quint32> common(cell(rows, columns) + 1, 0);
    for (int i = rows - 1; i >= 0; --i) {
      for (int j = columns - 1; j >= 0; --j) {
        common[cell(i, j)] = matchKey(a[head + i]) == matchKey(b[head + j])
                                 ? common[cell(i + 1, j + 1)] + 1
                                 : std::max(common[cell(i + 1, j)], common[cell(i, j + 1)]);
      }
    }
    int i = 0;
    int j = 0;
    while (i < rows || j < columns) {
      if (i < rows && j < columns && matchKey(a[head + i]) == matchKey(b[head + j])) {
        if (a[head + i] == b[head + j]) {
          steps.push_back({Op::keep, head + i++, head + j++});
        } else {
          steps.push_back({Op::remove, head + i, head + j});
          steps.push_back({Op::add, head + ++i, head + j++});
        }
      } else if (j == columns || (i < rows && common[cell(i + 1, j)] >= common[cell(i, j + 1)])) {
        steps.push_back({Op::remove, head + i++, head + j});
      } else {
        steps.push_back({Op::add, head + i, head + j++});
      }
    }
  }
  return steps;
}

}  // namespace

QString unifiedDiff(const QString& title, const QString& oldText, const QString& newText) {
  if (oldText == newText) {
    return title + QStringLiteral("\nNo config line changes; bridge scripts will be refreshed.");
  }
  const QStringList a = linesOf(oldText);
  const QStringList b = linesOf(newText);
  const std::vector<Step> steps = editScript(a, b);
  QStringList out{QStringLiteral("--- ") + title, QStringLiteral("+++ ") + title};

  // Hunks: runs of steps from kDiffContextLines before a change to as many after the last change
  // that lies within twice that distance.
  const int count = static_cast<int>(steps.size());
  int i = 0;
  while (i < count) {
    if (steps[static_cast<std::size_t>(i)].op == Op::keep) {
      ++i;
      continue;
    }
    const int begin = std::max(0, i - kDiffContextLines);
    int end = i;  // one past the last change of the hunk
    int j = i;
    while (j < count) {
      if (steps[static_cast<std::size_t>(j)].op != Op::keep) {
        end = j + 1;
        ++j;
        continue;
      }
      if (j - end >= 2 * kDiffContextLines) {
        break;
      }
      ++j;
    }
    const int stop = std::min(count, end + kDiffContextLines);
    int oldStart = -1;
    int newStart = -1;
    int oldCount = 0;
    int newCount = 0;
    QStringList body;
    for (int s = begin; s < stop; ++s) {
      const Step& step = steps[static_cast<std::size_t>(s)];
      if (oldStart < 0) {
        oldStart = step.oldLine;
        newStart = step.newLine;
      }
      switch (step.op) {
        case Op::keep:
          body.append(QStringLiteral("  ") + a[step.oldLine]);
          ++oldCount;
          ++newCount;
          break;
        case Op::remove:
          body.append(QStringLiteral("- ") + a[step.oldLine]);
          ++oldCount;
          break;
        case Op::add:
          body.append(QStringLiteral("+ ") + b[step.newLine]);
          ++newCount;
          break;
      }
    }
    // Line numbers from 1; an empty side starts at the line before (0 for the start).
    out.append(QStringLiteral("@@ -%1,%2 +%3,%4 @@")
                   .arg(oldCount > 0 ? oldStart + 1 : oldStart)
                   .arg(oldCount)
                   .arg(newCount > 0 ? newStart + 1 : newStart)
                   .arg(newCount));
    out += body;
    i = stop;
  }
  if (out.size() == 2) {
    out.append(QStringLiteral("(only the line break at the end changes)"));
  }
  return out.join(u'\n');
}

}  // namespace tandrel
