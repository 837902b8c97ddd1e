#include "platform/appearance.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QPalette>

namespace tandrel {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kNamespace = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");

// A portal that does not answer quickly counts as none.
constexpr int kReadTimeoutMs = 300;

// 1 is dark, 2 is light; 0 (no preference) and anything else say nothing. Read wraps the value
// in a variant of its own, ReadOne and SettingChanged do not.
std::optional<bool> darkFromScheme(QVariant value) {
  while (value.userType() == qMetaTypeId<QDBusVariant>()) value = value.value<QDBusVariant>().variant();
  bool ok = false;
  const uint scheme = value.toUInt(&ok);
  if (!ok || (scheme != 1 && scheme != 2)) return std::nullopt;
  return scheme == 1;
}

QDBusMessage readScheme(const QDBusConnection& bus, const QString& method) {
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
  call << kNamespace << kKey;
  return QDBusConnection(bus).call(call, QDBus::Block, kReadTimeoutMs);
}

// Without a GUI application (a headless check) there is no palette: light.
bool paletteIsDark() {
  return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr &&
         QGuiApplication::palette().color(QPalette::Window).lightnessF() < 0.5;
}

}  // namespace

std::optional<bool> portalPrefersDarkAppearance(const QDBusConnection& bus) {
  if (!bus.isConnected()) return std::nullopt;
  QDBusMessage reply = readScheme(bus, QStringLiteral("ReadOne"));
  if (reply.type() == QDBusMessage::ErrorMessage &&
      reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod")) {
    reply = readScheme(bus, QStringLiteral("Read"));
  }
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
  return darkFromScheme(reply.arguments().front());
}

bool prefersDarkAppearance() {
  if (const std::optional<bool> portal = portalPrefersDarkAppearance(QDBusConnection::sessionBus())) return *portal;
  return paletteIsDark();
}

AppearanceWatcher::AppearanceWatcher(QDBusConnection bus, QObject* parent) : QObject(parent) {
  if (bus.isConnected()) {
    bus.connect(kService, kPath, kInterface, QStringLiteral("SettingChanged"), this,
                SLOT(onSettingChanged(QDBusMessage)));
  }
}

void AppearanceWatcher::onSettingChanged(const QDBusMessage& message) {
  // (namespace, key, value)
  const QList<QVariant> args = message.arguments();
  if (args.size() != 3 || args[0].toString() != kNamespace || args[1].toString() != kKey) return;
  const std::optional<bool> dark = darkFromScheme(args[2]);
  Q_EMIT darkAppearanceChanged(dark.value_or(paletteIsDark()));
}

}  // namespace tandrel
