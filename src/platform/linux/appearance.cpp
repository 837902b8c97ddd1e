#include "platform/appearance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QPalette>

namespace tandrel {

std::optional<bool> portalPrefersDarkAppearance(const QDBusConnection& bus) {
  if (!bus.isConnected()) return std::nullopt;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
      QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
  call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
  // A portal that does not answer quickly counts as none.
  const QDBusMessage reply = QDBusConnection(bus).call(call, QDBus::Block, 300);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
  // Read wraps the value in a variant of its own.
  QVariant value = reply.arguments().front();
  while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>()) {
    value = value.value<QDBusVariant>().variant();
  }
  bool ok = false;
  const uint scheme = value.toUInt(&ok);
  if (!ok || (scheme != 1 && scheme != 2)) return std::nullopt;
  return scheme == 1;
}

bool prefersDarkAppearance() {
  if (const std::optional<bool> portal = portalPrefersDarkAppearance(QDBusConnection::sessionBus())) return *portal;
  return QGuiApplication::palette().color(QPalette::Window).lightnessF() < 0.5;
}

}  // namespace tandrel
