// EventStore: what the buttons of an inbox card do. Answers go back through the store's message
// action dispatcher; every action writes one line to the message-action audit.

#include "events/event_store.h"

#include <QJsonObject>
#include <QTextBoundaryFinder>

namespace tandrel {

namespace {

// The event's own working folder, where its agent may wait for an answer file; empty when the
// record named none.
QString answerWorkingFolder(const TandrelEvent& event) { return event.hasExplicitCwd ? event.cwd : QString(); }

QString jumpText(JumpQuality quality) {
  switch (quality) {
    case JumpQuality::exactWindow:
      return QStringLiteral("Jumped to exact window");
    case JumpQuality::sessionLevel:
      return QStringLiteral("Jumped to session");
    case JumpQuality::workspaceLevel:
      return QStringLiteral("Opened workspace");
    case JumpQuality::appLevel:
      return QStringLiteral("Opened app");
    case JumpQuality::unavailable:
      break;
  }
  return QStringLiteral("Jump unavailable");
}

// The channel of an approval or rejection: that of the card's first matching action, else the
// event's decision file, else its decision command.
ResponseChannel decisionChannel(const IslandMessage& message, MessageActionRole role) {
  if (message.normalized) {
    for (const MessageActionSpec& action : message.normalized->actions) {
      if (action.role == role) {
        if (action.channel) {
          return *action.channel;
        }
        break;
      }
    }
  }
  if (message.event.decisionFile) {
    return ResponseChannel::decisionFile(*message.event.decisionFile);
  }
  if (message.event.decisionCommand) {
    return ResponseChannel::decisionCommand(*message.event.decisionCommand);
  }
  return ResponseChannel::none();
}

// Characters as the user sees them (an emoji with its modifiers counts once).
int characterCount(const QString& text) {
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
  int count = 0;
  while (finder.toNextBoundary() > 0) {
    ++count;
  }
  return count;
}

int collapsedCount(const IslandMessage& message) { return static_cast<int>(message.events.size()); }

}  // namespace

MessageActionDispatcher& EventStore::actionDispatcher() {
  if (!actionDispatcher_) {
    actionDispatcher_ = std::make_unique<MessageActionDispatcher>(responseReceipts_, false);
  }
  return *actionDispatcher_;
}

void EventStore::perform(const QString& role, const IslandMessage& message, ActionCompletion done) {
  const int count = collapsedCount(message);

  if (role == u"jump") {
    std::optional<ResolvedJumpTarget> resolved = message.jump ? message.jump : jumpTarget(message.event);
    if (!resolved) {
      audit(QStringLiteral("jump_unavailable"), message.event, count);
      done(ActionResult::failure(QStringLiteral("No jump target is available")));
      return;
    }
    // A target that cannot be reached is audited as such, also when its fallback opens instead.
    if (!resolved->available) {
      audit(QStringLiteral("jump_unavailable"), message.event, count);
    }
    std::vector<JumpCandidate> candidates = jumpOpenCandidates(*resolved);
    if (candidates.empty()) {
      done(ActionResult::failure(resolved->reason.value_or(QStringLiteral("Jump target is unavailable"))));
      return;
    }
    openFirstJumpCandidateInBackground(
        std::move(candidates), [this, message, count, done = std::move(done)](std::optional<JumpCandidate> opened,
                                                                             std::optional<QString> openError) {
          if (!opened) {
            QJsonObject extra;
            if (openError) {
              extra.insert(QStringLiteral("open_error"), *openError);
            }
            audit(QStringLiteral("jump_failed"), message.event, count, extra);
            done(ActionResult::failure(openError ? QStringLiteral("Jump target could not be opened: ") + *openError
                                                 : QStringLiteral("Jump target could not be opened")));
            return;
          }
          markRead(message, EventIDSet::read);
          persistRead(EventIDSet::read);
          bumpRevisionWithoutPublishing();
          audit(opened->isFallback ? QStringLiteral("jump_fallback") : QStringLiteral("jump"), message.event, count);
          done(ActionResult::success(jumpText(opened->target.quality)));
        });
    return;
  }

  if (role == u"configure") {
    audit(role, message.event, count);
    done(ActionResult::success());
    return;
  }

  if (role == u"authorize" || role == u"reject") {
    const bool approve = role == u"authorize";
    const ResponseChannel channel =
        decisionChannel(message, approve ? MessageActionRole::approve : MessageActionRole::reject);
    actionDispatcher().submit(
        message.event.id, approve ? ResponseReceiptAction::approve : ResponseReceiptAction::reject, channel,
        std::nullopt, std::nullopt, clock_.now(), answerWorkingFolder(message.event),
        [this, role, message, count, approve, done = std::move(done)](const MessageActionResult& delivered) {
          if (!delivered.succeeded) {
            audit(role + QStringLiteral("_failed"), message.event, count);
            done(ActionResult::failure(delivered.error.value_or(QStringLiteral("Decision failed"))));
            return;
          }
          markRead(message, EventIDSet::hidden);
          markRead(message, EventIDSet::read);
          persistRead(EventIDSet::hidden);
          persistRead(EventIDSet::read);
          bumpRevisionWithoutPublishing();
          audit(role, message.event, count);
          done(ActionResult::success(approve ? QStringLiteral("Authorized request") : QStringLiteral("Rejected request")));
        });
    return;
  }

  if (role == u"ignore" || role == u"mark_read") {
    const EventIDSet set = role == u"ignore" ? EventIDSet::hidden : EventIDSet::read;
    markRead(message, set);
    persistRead(set);
    bumpRevisionWithoutPublishing();
    audit(role, message.event, count);
    done(ActionResult::success(set == EventIDSet::hidden ? QStringLiteral("Ignored") : QStringLiteral("Marked read")));
    return;
  }

  done(ActionResult::failure(QStringLiteral("Unknown action: ") + role));
}

void EventStore::performChoice(const IslandMessage& message, const MessageOption& option, const QString& note,
                               ActionCompletion done) {
  const int count = collapsedCount(message);
  actionDispatcher().submit(
      message.event.id, ResponseReceiptAction::chooseOption, message.responseChannel, option, note, clock_.now(),
      answerWorkingFolder(message.event), [this, message, option, note, count, done = std::move(done)](const MessageActionResult& delivered) {
        if (!delivered.succeeded) {
          audit(QStringLiteral("choose_option_failed"), message.event, count,
                {{QStringLiteral("option_id"), option.id},
                 {QStringLiteral("error"), delivered.error.value_or(QStringLiteral("unknown"))}});
          done(ActionResult::failure(delivered.error.value_or(QStringLiteral("Response failed"))));
          return;
        }
        markRead(message, EventIDSet::hidden);
        persistRead(EventIDSet::hidden);
        bumpRevisionWithoutPublishing();
        audit(QStringLiteral("choose_option"), message.event, count,
              {{QStringLiteral("option_id"), option.id},
               {QStringLiteral("note_present"), !note.trimmed().isEmpty()},
               {QStringLiteral("note_length"), characterCount(note)}});
        done(ActionResult::success(delivered.message));
      });
}

}  // namespace tandrel
