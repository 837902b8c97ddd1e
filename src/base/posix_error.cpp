#include "base/posix_error.h"

#include <cstring>

namespace tandrel {

QString errnoText(int errorNumber) {
  char buffer[256] = {};
  // The GNU strerror_r returns the text, which may or may not be in `buffer`.
  return QString::fromLocal8Bit(::strerror_r(errorNumber, buffer, sizeof buffer));
}

QString POSIXError::description() const {
  return QStringLiteral("POSIX %1 failed: errno=%2 (%3)")
      .arg(op, QString::number(errorNumber), errnoText(errorNumber));
}

}  // namespace tandrel
