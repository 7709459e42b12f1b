// Dial progress: the notifier that the remote access service calls while a
// dial runs, the hand-over of what it learns to the dial's wait loop, the
// connection-state texts and the look-out for one key in the console input.
//
// Threads. The service calls DialProgressCallback either on a thread of its
// own or, through the window messages that the wait loop dispatches, on the
// host's thread. The notifier therefore never calls the host and never writes
// the event log: it publishes the outcome (with its error code) and queues
// the states to show, then signals DialProgressEvent. The wait loop, on the
// host's thread, draws the queued states with ShowPendingDialStates and reads
// the outcome with CurrentDialOutcome. One lock (a critical section) guards
// what is handed over; the notifier holds it only for moments, and the two
// callers of ConsoleKeyPressed take turns on it.
#pragma once

#include <cstdint>
#include <string>

#include "dial/ras_api.h"

// The outcome of the dial under way. Kinds above None are final for one try:
// the first outcome the notifier publishes stays, and only the wait loop's
// own Esc (ForceDialInterrupted) replaces it.
enum class DialOutcomeKind : uint32_t { None = 0, Interrupted = 1, Failed = 2, Connected = 3 };

// The outcome and the remote access error code that belongs to it, read in
// one step so that "failed" always comes with its own error.
struct DialOutcomeState {
  DialOutcomeKind kind = DialOutcomeKind::None;
  DWORD error = 0;
};

// The outcome's text: "", "interrupted", "failed" or "connected".
const char* DialOutcomeText(DialOutcomeKind kind);

// The RasDialFunc notifier (notifier type 0): message number (unused),
// connection state, error code (0 for none). In this order, the first that
// holds decides: an Esc key-down waiting in the console gives "interrupted";
// a non-zero error gives "failed" with that error; state RASCS_Connected
// gives "connected"; any other state is queued for display. Safe on any
// thread; never lets an exception out.
void WINAPI DialProgressCallback(UINT message, RASCONNSTATE state, DWORD error);

// The notifier the dial hands to RasDialA (notifier type 1): the report of
// DialProgressCallback, with the handle of its dial. Reports of a dial that
// was hung up (a service may go on reporting after RasHangUpA) are dropped,
// so that they cannot decide a later dial. Any thread.
void WINAPI DialProgressCallback1(HRASCONN connection, UINT message, RASCONNSTATE state, DWORD error,
                                  DWORD extended_error);
// A try hung up its dial: from now on its reports are dropped.
void ForgetDialConnection(HRASCONN connection);
// RasDialA gave a new try this handle: its reports count again (a service
// may hand out the handle of a dial long hung up).
void ExpectDialConnection(HRASCONN connection);

// Start of a try (host's thread, before RasDialA): no outcome, error 0, no
// queued states, event reset.
void ResetDialOutcome();
// The outcome and error as published so far. Any thread.
DialOutcomeState CurrentDialOutcome();
// `DialOutcome` as text and `DialError`, each read on its own.
std::string DialOutcome();
DWORD DialError();
// Publishes "failed" with `error` unless an outcome is already there (used
// when RasDialA refuses a dial at once). Returns whether it was published.
bool PublishDialFailure(DWORD error);
// The wait loop saw Esc itself: the outcome becomes "interrupted" whatever
// the notifier published, and the error stays as it was.
void ForceDialInterrupted();

// An auto-reset event that the notifier sets after every report. Created on
// first use, lives as long as the library. Never null once ResetDialOutcome
// has run.
HANDLE DialProgressEvent();

// Host's thread only. Shows the states the notifier queued (oldest first, at
// most one queue's worth of 64 per call; a full queue drops new states, never
// an outcome) when the show_progress setting is on: with debug on, first the log line of
// message 85 followed by the state's text; then four Text calls at 0,0 in
// colour 7 (28 spaces, null, the text, null). With show_progress off the
// queue is emptied without a trace. WriteLogLine may raise IoError; the
// states not yet shown then stay queued.
void ShowPendingDialStates();

// Host's thread only (it calls GetMessageText). Message 48 + state for the
// states 0 to 18, the catalogue's text for the others of the table, else
// "Connection state #" followed by the state in decimal.
std::string ConnectionStateText(int32_t state);

// Whether a key-down event of the virtual key `key` waits in the console
// input; if so, it and every event before it are taken out of the queue.
// Otherwise nothing is removed. A failed peek counts as no key. The notifier
// and the wait loop may call it at the same time: they take turns, so one
// Esc is consumed by exactly one of them. Records set aside by
// LookForEscOrSetInputAside count as the front of the queue.
bool ConsoleKeyPressed(WORD key);

// The wait loop's look at the console input (host's thread). An Esc
// key-down waiting is taken as ConsoleKeyPressed takes it, and the result is
// true. Otherwise every record waiting is set aside, so that the console
// input handle is no longer signalled and the wait can sleep until new
// input comes; the result is false. Records set aside still count as queued
// in front of the rest: an Esc taken later, by either caller, takes them
// with it, and PutConsoleInputBack returns them to the queue.
bool LookForEscOrSetInputAside();
// Puts the records set aside back in front of the console input queue, in
// their order (host's thread, at the end of each wait). Records that arrive
// during this call itself may end up before them. Never throws; should the
// memory for it be lacking, the records set aside are dropped.
void PutConsoleInputBack();
