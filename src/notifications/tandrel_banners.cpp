#include "notifications/tandrel_banners.h"

#include "base/log.h"
#include "catalog/tool_catalog.h"
#include "requests/pending_action_store.h"

#include <QDir>
#include <QPointer>

namespace tandrel {

const std::vector<NotificationAction>& NotificationCategoryRegistrar::actions() {
  static const std::vector<NotificationAction> list{
      {kApproveOnce, QStringLiteral("Approve")},
      {kApproveAlways, QStringLiteral("Always")},
      {kDeny, QStringLiteral("Deny")},
      {kJump, QStringLiteral("Jump")},
      {kChoiceMore, QString::fromUtf8("More\u2026")},
      {kTextInputOpen, QStringLiteral("Open input panel")},
      {kTextInputDeny, QStringLiteral("Deny")},
  };
  return list;
}

const std::vector<NotificationCategory>& NotificationCategoryRegistrar::categories() {
  static const std::vector<NotificationCategory> list{
      {kPermissionCategory, {kApproveOnce, kApproveAlways, kDeny, kJump}, false},
      {kChoiceCategory, {kChoiceMore, kJump}, true},
      {kTextInputCategory, {kTextInputOpen, kTextInputDeny, kJump}, false},
  };
  return list;
}

const NotificationCategory* NotificationCategoryRegistrar::category(const QString& identifier) {
  for (const NotificationCategory& category : categories()) {
    if (category.identifier == identifier) {
      return &category;
    }
  }
  return nullptr;
}

QString NotificationCategoryRegistrar::actionTitle(const QString& actionID) {
  for (const NotificationAction& action : actions()) {
    if (action.identifier == actionID) {
      return action.title;
    }
  }
  return QString();
}

void NotificationCategoryRegistrar::registerCategories(DesktopNotifications& server, TandrelBanners& banners) {
  QPointer<TandrelBanners> target(&banners);
  server.capabilities([target](const QStringList& capabilities) {
    if (target) {
      target->setActionsSupported(capabilities.contains(QStringLiteral("actions")));
      target->setBodyMarkup(capabilities.contains(QStringLiteral("body-markup")));
    }
  });
}

QString TandrelBanners::identifier(const QString& requestID) { return QStringLiteral("tandrel.") + requestID; }

QString TandrelBanners::origin(const PendingAction& action) {
  QString folder = action.payload.cwd.value_or(QString());
  const QString home = QDir::homePath();
  if (!home.isEmpty() && home != QLatin1String("/")) {
    if (folder == home) {
      folder = QStringLiteral("~");
    } else if (folder.startsWith(home + QLatin1Char('/'))) {
      folder = QLatin1Char('~') + folder.mid(home.size());
    }
  }
  const QString agent = toolDisplayName(action.agent);
  return folder.isEmpty() ? agent : agent + QStringLiteral(" \u00B7 ") + folder;
}

TandrelBanners::Content TandrelBanners::content(const PendingAction& action) {
  const HookRequestPayload& payload = action.payload;
  // With two agents in two projects, the banner must say which one asks before what it asks.
  const QString from = origin(action) + QLatin1Char('\n');
  switch (action.kind) {
    case PendingActionKind::permissionRequest:
      return {QStringLiteral("Approval needed"),
              from + (payload.command ? QStringLiteral("Run: ") + *payload.command : QStringLiteral("Agent requested permission")),
              NotificationCategoryRegistrar::kPermissionCategory};
    case PendingActionKind::waitingChoice:
      return {QStringLiteral("Choice needed"), from + payload.prompt.value_or(QStringLiteral("Agent is waiting for a choice")),
              NotificationCategoryRegistrar::kChoiceCategory};
    case PendingActionKind::waitingInput:
      break;
  }
  return {QStringLiteral("Input needed"), from + payload.prompt.value_or(QStringLiteral("Agent is waiting for your text")),
          NotificationCategoryRegistrar::kTextInputCategory};
}

QString TandrelBanners::escapedForMarkup(const QString& text) {
  QString escaped;
  escaped.reserve(text.size());
  for (const QChar c : text) {
    switch (c.unicode()) {
      case u'&': escaped += QLatin1String("&amp;"); break;
      case u'<': escaped += QLatin1String("&lt;"); break;
      case u'>': escaped += QLatin1String("&gt;"); break;
      default: escaped += c;
    }
  }
  return escaped;
}

QVariantMap TandrelBanners::userInfo(const PendingAction& action) {
  return {{QStringLiteral("request_id"), action.requestID},
          {QStringLiteral("kind"), rawValue(action.kind)},
          {QStringLiteral("agent"), action.agent},
          {QStringLiteral("session_id"), action.sessionID}};
}

TandrelBanners::TandrelBanners(DesktopNotifications& server, QObject* parent) : QObject(parent), server_(server) {
  connect(&server_, &DesktopNotifications::actionInvoked, this, &TandrelBanners::handleAction);
  connect(&server_, &DesktopNotifications::notificationClosed, this, &TandrelBanners::handleClosed);
}

void TandrelBanners::post(const PendingAction& action) {
  const Content text = content(action);
  // A server that renders markup would show a command with "<", ">" or "&" altered or cut, and
  // the user would approve something other than what runs.
  DesktopNotifications::Notification notification{text.title, bodyMarkup_ ? escapedForMarkup(text.body) : text.body, {}};
  if (actionsSupported_) {
    // The click on the banner is the default action; then the category's buttons.
    notification.actions << NotificationCategoryRegistrar::kDefaultAction << QString();
    for (const QString& actionID : NotificationCategoryRegistrar::category(text.category)->actionIDs) {
      notification.actions << actionID << NotificationCategoryRegistrar::actionTitle(actionID);
    }
  }
  const QString id = identifier(action.requestID);
  // A newer request with the same id replaces the banner.
  if (const auto old = idByIdentifier_.constFind(id); old != idByIdentifier_.cend()) {
    server_.close(*old);
    shown_.remove(*old);
    idByIdentifier_.remove(id);
  }
  awaitingPost_.insert(id, false);
  Banner banner{id, text.category, userInfo(action), false};
  QPointer<TandrelBanners> self(this);
  server_.notify(notification, [self, banner = std::move(banner)](Result<quint32> posted) {
    if (!self) {
      return;
    }
    const bool withdrawn = self->awaitingPost_.value(banner.identifier, true);
    self->awaitingPost_.remove(banner.identifier);
    if (!posted.ok()) {
      logWarning(QStringLiteral("banner post failed: %1").arg(posted.error()));
      if (self->onPosted) self->onPosted(banner.identifier, false);
      return;
    }
    if (withdrawn) {
      self->server_.close(*posted);
    } else {
      self->shown_.insert(*posted, banner);
      self->idByIdentifier_.insert(banner.identifier, *posted);
    }
    if (self->onPosted) self->onPosted(banner.identifier, true);
  });
}

void TandrelBanners::withdraw(const QString& requestID) {
  const QString id = identifier(requestID);
  if (awaitingPost_.contains(id)) {
    awaitingPost_.insert(id, true);
  }
  if (const auto serverID = idByIdentifier_.constFind(id); serverID != idByIdentifier_.cend()) {
    server_.close(*serverID);
    shown_.remove(*serverID);
    idByIdentifier_.remove(id);
  }
}

QStringList TandrelBanners::shownIdentifiers() const {
  QStringList ids = idByIdentifier_.keys();
  ids.sort();
  return ids;
}

void TandrelBanners::handleAction(quint32 id, const QString& actionKey) {
  const auto it = shown_.find(id);
  if (it == shown_.end()) {
    return;
  }
  it->responded = true;
  const QVariantMap info = it->userInfo;
  if (onResponse) {
    onResponse(actionKey, info);
  }
}

void TandrelBanners::handleClosed(quint32 id, quint32 reason) {
  const auto it = shown_.find(id);
  if (it == shown_.end()) {
    return;
  }
  const Banner banner = *it;
  shown_.erase(it);
  idByIdentifier_.remove(banner.identifier);
  const NotificationCategory* category = NotificationCategoryRegistrar::category(banner.category);
  if (reason == DesktopNotifications::kClosedDismissedByUser && !banner.responded && category &&
      category->reportsDismissal && onResponse) {
    onResponse(NotificationCategoryRegistrar::kDismissAction, banner.userInfo);
  }
}

void showBannersForRequests(PendingActionStore& store, TandrelBanners& banners) {
  QPointer<TandrelBanners> target(&banners);
  store.addObserver([target](const PendingAction& action) {
    if (!target) {
      return;
    }
    if (action.status == PendingActionStatus::awaitingUser) {
      target->post(action);
    } else {
      target->withdraw(action.requestID);
    }
  });
}

}  // namespace tandrel
