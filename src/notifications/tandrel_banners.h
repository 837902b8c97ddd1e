#pragma once

// The banner of each waiting agent request: a desktop notification with the request's action
// buttons, kept in step with the request (posted when it starts, withdrawn when it ends), and the
// user's responses to it.

#include "platform/desktop_notifications.h"
#include "requests/pending_action.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <optional>
#include <vector>

namespace tandrel {

class PendingActionStore;
class TandrelBanners;

// The action buttons of one kind of banner.
struct NotificationCategory {
  QString identifier;  // "TDPermissionRequest", "TDChoice", "TDTextInput"
  QStringList actionIDs;
  bool reportsDismissal = false;  // whether a dismissal is a response
};

// One action button.
struct NotificationAction {
  QString identifier;
  QString title;
};

// The banner categories and their actions; what the application registers at launch.
class NotificationCategoryRegistrar {
 public:
  static inline const QString kPermissionCategory = QStringLiteral("TDPermissionRequest");
  static inline const QString kChoiceCategory = QStringLiteral("TDChoice");
  static inline const QString kTextInputCategory = QStringLiteral("TDTextInput");

  static inline const QString kApproveOnce = QStringLiteral("TDPermissionRequest.approve_once");
  static inline const QString kApproveAlways = QStringLiteral("TDPermissionRequest.approve_always");
  static inline const QString kDeny = QStringLiteral("TDPermissionRequest.deny");
  static inline const QString kJump = QStringLiteral("TDAction.jump");
  static inline const QString kChoiceMore = QStringLiteral("TDChoice.more");
  static inline const QString kChoiceOptionPrefix = QStringLiteral("TDChoice.option.");
  static inline const QString kTextInputOpen = QStringLiteral("TDTextInput.open");
  static inline const QString kTextInputDeny = QStringLiteral("TDTextInput.deny");
  // The click on the banner itself, and its dismissal by the user.
  static inline const QString kDefaultAction = QStringLiteral("default");
  static inline const QString kDismissAction = QStringLiteral("dismiss");

  static const std::vector<NotificationAction>& actions();
  static const std::vector<NotificationCategory>& categories();
  static const NotificationCategory* category(const QString& identifier);
  static QString actionTitle(const QString& actionID);

  // Asks the server whether it shows action buttons and tells the banners; a server without them
  // (or no server) gets banners without buttons.
  static void registerCategories(DesktopNotifications& server, TandrelBanners& banners);
};

class TandrelBanners : public QObject {
  Q_OBJECT

 public:
  struct Content {
    QString title;
    QString body;
    QString category;
    bool operator==(const Content&) const = default;
  };

  // "tandrel." followed by the request id.
  static QString identifier(const QString& requestID);
  // Who asks: the agent's name and its project folder (the home folder shown as "~"), or the
  // name alone when the request names no folder.
  static QString origin(const PendingAction& action);
  // Title, body and category by the action's kind; the body's first line is the origin.
  static Content content(const PendingAction& action);
  // `text` with "&", "<" and ">" as entities, for a server that reads bodies as markup.
  static QString escapedForMarkup(const QString& text);
  // "request_id", "kind", "agent" and "session_id".
  static QVariantMap userInfo(const PendingAction& action);

  explicit TandrelBanners(DesktopNotifications& server, QObject* parent = nullptr);

  // Whether banners carry action buttons (the server's "actions" capability); on by default.
  void setActionsSupported(bool supported) { actionsSupported_ = supported; }
  bool actionsSupported() const { return actionsSupported_; }
  // Whether the server reads bodies as markup (its "body-markup" capability); off by default.
  void setBodyMarkup(bool markup) { bodyMarkup_ = markup; }
  bool bodyMarkup() const { return bodyMarkup_; }

  // Posts the banner of `action`. A failure is logged ("banner post failed: …") and changes nothing.
  void post(const PendingAction& action);
  // Closes the banner of the request, also one whose post has not been confirmed yet.
  void withdraw(const QString& requestID);

  // The identifiers of the banners now shown (posted and not closed or withdrawn).
  QStringList shownIdentifiers() const;

  // The user chose an action on a banner (or clicked or dismissed it): the action id and the
  // banner's user information.
  std::function<void(const QString& actionID, const QVariantMap& userInfo)> onResponse;
  // Called once each post is confirmed or fails (for measurements).
  std::function<void(const QString& identifier, bool posted)> onPosted;

 private:
  struct Banner {
    QString identifier;
    QString category;
    QVariantMap userInfo;
    bool responded = false;  // an action came; a following close is not a dismissal
  };

  void handleAction(quint32 id, const QString& actionKey);
  void handleClosed(quint32 id, quint32 reason);

  DesktopNotifications& server_;
  bool actionsSupported_ = true;
  bool bodyMarkup_ = false;
  QHash<quint32, Banner> shown_;            // by the server's id
  QHash<QString, quint32> idByIdentifier_;  // identifier -> the server's id
  QHash<QString, bool> awaitingPost_;       // identifier -> withdrawn while the post was on its way
};

// Every request of `store` gets its banner while it waits; the banner is withdrawn when the
// request ends in any way (answer, time-out, agent exit, supersession, hang-up). The store may
// outlive the banners: the link then does nothing.
void showBannersForRequests(PendingActionStore& store, TandrelBanners& banners);

}  // namespace tandrel
