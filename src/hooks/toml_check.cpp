#include "hooks/toml_check.h"

#include <toml++/toml.h>

#include <string_view>

namespace tandrel {

Result<void> checkToml(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  try {
    (void)toml::parse(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
  } catch (const toml::parse_error& error) {
    return Result<void>::failure(QStringLiteral("it is not valid TOML at line %1: %2")
                                     .arg(error.source().begin.line)
                                     .arg(QString::fromUtf8(error.description().data(),
                                                            static_cast<qsizetype>(
                                                                error.description().size()))));
  }
  return {};
}

}  // namespace tandrel
