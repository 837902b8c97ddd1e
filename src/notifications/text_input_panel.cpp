#include "notifications/text_input_panel.h"

#include <QByteArray>

namespace tandrel {

TextInputPanel::Truncation TextInputPanel::truncate(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  if (bytes.size() <= kMaxInputBytes) {
    return {text, false};
  }
  // Step back over continuation bytes (10xxxxxx) so that the cut falls before the character the
  // limit runs into.
  qsizetype cut = kMaxInputBytes;
  while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) {
    --cut;
  }
  return {QString::fromUtf8(bytes.constData(), cut), true};
}

}  // namespace tandrel
