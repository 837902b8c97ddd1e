#include "attention/event_priority.h"

#include <algorithm>

namespace tandrel {

int eventPriority(const TandrelEvent& event) {
  const QString& type = event.eventType;
  if (event.requestOutcome) return 5;  // an ended request is an ordinary message
  if (type == u"permission_request" || type == u"waiting_input" || type == u"plan_ready") return 0;
  if (event.severity == u"critical" || type == u"task_failed") return 1;
  if (type == u"rate_limited") return 2;
  if (type == u"task_completed") return 4;
  return 5;
}

bool eventGoesFirst(const TandrelEvent& a, const TandrelEvent& b) {
  const int pa = eventPriority(a);
  const int pb = eventPriority(b);
  if (pa != pb) return pa < pb;
  return a.timestamp > b.timestamp;
}

void sortEventsByPriority(std::vector<TandrelEvent>& events) {
  // Sort positions with each priority computed once, then move the events into place.
  struct Key {
    int priority;
    std::size_t index;
  };
  std::vector<Key> keys;
  keys.reserve(events.size());
  for (std::size_t i = 0; i < events.size(); ++i) keys.push_back({eventPriority(events[i]), i});
  std::stable_sort(keys.begin(), keys.end(), [&events](const Key& a, const Key& b) {
    if (a.priority != b.priority) return a.priority < b.priority;
    return events[a.index].timestamp > events[b.index].timestamp;
  });
  std::vector<TandrelEvent> sorted;
  sorted.reserve(events.size());
  for (const Key& key : keys) sorted.push_back(std::move(events[key.index]));
  events = std::move(sorted);
}

}  // namespace tandrel
