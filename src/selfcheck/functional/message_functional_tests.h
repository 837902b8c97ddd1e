#pragma once

#include <QString>

// Functional tests of the message model: a bridge record with a choice read whole, the pet pose
// of single events and of a store, the normalized form of the kinds of cards, and the companion
// candidates built once per store revision. Each returns true when everything it expects holds;
// those that take `tempRoot` write their files there, under names of their own.

namespace tandrel {

// A waiting_input record with two options, a response file, a note, a completion snippet, a
// preview and a jump target parses into an event holding each of them.
bool messageEventParsingFunctionalTest();

// Started and running-tool events show the pet working, a usage limit tired, a completion done, a
// ready plan the review pose; a store holding only a silent running-tool update has no card and
// a working pet.
bool messagePetStateRuntimeMappingFunctionalTest(const QString& tempRoot);

// The normalizer's intent, interaction, preview, actions and badge for a choice, approvals with
// and without a decision channel, a text request, choices whose channel cannot carry the answer
// and a cancelled task.
bool messageNormalizerFunctionalTest();

// Two cache fills, the pet state and the companion ticker of one store revision build the
// companion candidates once.
bool companionCandidateCacheFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
