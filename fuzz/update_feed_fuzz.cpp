// The update feed's answer, as a check-interface response or a static manifest, and version
// comparison: comparing is antisymmetric and a version equals itself.
#include "fuzz_target.h"

#include "update/update_feed.h"

TANDREL_FUZZ_TARGET(update_feed) {
  using namespace tandrel;
  const QByteArray input = fuzz::bytes(data, size);
  (void)decodeUpdateResponse(input, QStringLiteral("0.1.6"));
  (void)decodeCheckResponse(input);
  (void)decodeStaticManifest(input);
  const QList<QByteArray> lines = input.split('\n');
  for (qsizetype i = 0; i + 1 < lines.size() && i < 8; ++i) {
    const QString a = QString::fromUtf8(lines[i]);
    const QString b = QString::fromUtf8(lines[i + 1]);
    FUZZ_CHECK(compareVersionStrings(a, a) == VersionOrder::same, a);
    FUZZ_CHECK(static_cast<int>(compareVersionStrings(a, b)) ==
                   -static_cast<int>(compareVersionStrings(b, a)),
               a + QStringLiteral(" / ") + b);
  }
  return 0;
}
