#pragma once

#include "platform/global_hot_keys.h"

#include <vector>

namespace tandrel {

// Hot keys for tests: records what is registered, refuses the keys the test marks as held by
// another application (or everything, when the platform is marked unavailable), and presses keys
// on request.
class FakeGlobalHotKeys final : public GlobalHotKeys {
 public:
  std::optional<QString> unavailable;  // the reason every registration fails
  std::vector<int> heldElsewhere;      // ids another application holds
  std::vector<HotKey> registered;
  int unregisterCalls = 0;

  std::optional<QString> unavailableReason() const override { return unavailable; }
  Result<void> registerHotKey(const HotKey& key) override {
    if (unavailable) {
      return Result<void>::failure(*unavailable);
    }
    for (const int id : heldElsewhere) {
      if (id == key.id) {
        return Result<void>::failure(hotKeyText(key) + QStringLiteral(" is already taken by another application"));
      }
    }
    registered.push_back(key);
    return Result<void>::success();
  }
  void unregisterAll() override {
    ++unregisterCalls;
    registered.clear();
  }

  // Presses a registered key; false when no key with this id is registered.
  bool press(int id) {
    for (const HotKey& key : registered) {
      if (key.id == id) {
        if (onPressed) {
          onPressed(id);
        }
        return true;
      }
    }
    return false;
  }
};

}  // namespace tandrel
