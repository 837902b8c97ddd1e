#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace tandrel::test {

// A self-check group's failed sentences, one a line, for a test's failure message.
inline std::string listed(const std::vector<QString>& messages) {
  return QStringList(messages.begin(), messages.end()).join(QLatin1Char('\n')).toStdString();
}

}  // namespace tandrel::test
