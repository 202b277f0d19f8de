// The core of the test backend: a virtual clock that moves only when the test
// says, message boxes recorded instead of shown, and forms without a screen.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win/clock.h"
#include "platform/win/wintypes.h"

// Installs the headless driver and a fresh virtual clock starting at StartMs
// (pick a value near 2^32 to reach the millisecond wrap). Call again to start
// over. Message boxes go to the one record of platform/win/user_seam.h, where
// a test takes them (TakeRecordedMessageBoxes) and the tests' main finds any
// that a test left behind; starting over keeps them there.
void HeadlessInstall(uint64_t StartMs = 0);
// Puts the null driver and the real clock back.
void HeadlessUninstall();
bool HeadlessInstalled();

TVirtualClock& HeadlessClock();
void HeadlessAdvance(uint32_t Ms);

// The button every later box answers with; until set (and after each
// install) a box answers with its first button, as under the SDL backend.
void HeadlessSetMessageBoxAnswer(int Answer);

// What an idle pass that asked to run again at once costs. By default the
// virtual clock moves on by one millisecond, so game time never outruns it;
// a test may install its own step (for example to advance by a frame, or to
// end the loop after a number of passes).
void HeadlessSetIdlePace(std::function<void()> Pace);
// What waiting for a message does when nothing is queued: by default the
// virtual clock moves on to the next window timer (as a real wait would), or
// by one millisecond when no timer is set.
void HeadlessSetWait(std::function<void(uint64_t TimeoutUs)> Wait);

void HeadlessSetDesktopSize(int Width, int Height);
// Cursor visibility as the program last set it.
bool HeadlessCursorVisible();

// Files the shell was asked to open since HeadlessInstall, in order.
const std::vector<std::string>& HeadlessShellOpened();
