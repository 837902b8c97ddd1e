#include "jump/jump_diagnostics.h"

#include "base/canonical_json.h"
#include "catalog/paths.h"
#include "platform/append_file.h"
#include "platform/private_folder.h"

#include <QDateTime>
#include <QTextBoundaryFinder>

namespace tandrel {

QString jumpDiagnosticFile() { return appSupportDirectory() + QStringLiteral("/jump_diagnostic.jsonl"); }

void recordJumpDiagnostic(QJsonObject entry) {
  entry.insert(QStringLiteral("timestamp"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
  (void)makePrivateFolder(appSupportDirectory());
  (void)appendFile(jumpDiagnosticFile(), canonicalJsonLine(entry));
}

QString truncatedDiagnostic(const QString& text, int limit) {
  const QString trimmed = text.trimmed();
  // Characters are grapheme clusters: an emoji or an accented letter is never cut in half.
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, trimmed);
  int count = 0;
  qsizetype keepEnd = 0;
  const int keep = std::max(limit - 3, 0);
  while (finder.toNextBoundary() >= 0) {
    ++count;
    if (count == keep) {
      keepEnd = finder.position();
    }
    if (count > limit) {
      return trimmed.left(keepEnd) + QStringLiteral("...");
    }
  }
  return trimmed;
}

}  // namespace tandrel
