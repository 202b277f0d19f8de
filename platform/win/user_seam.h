// Message boxes under the tests. A backend that would draw a box on a real
// display records it instead and answers at once, so that no test can wait
// on a box that nobody will close, and none goes unnoticed: the tests' main
// fails every test that leaves a recorded box behind. The switch is the
// environment (TAL_MESSAGE_BOXES=record), so the programs that a test starts
// answer their boxes at once too, and write them to standard error. The
// headless backend, which has no display, keeps every box here whatever the
// environment says.
#pragma once

#include <string>
#include <vector>

#include "platform/win/wintypes.h"

inline constexpr const char* kMessageBoxesVariable = "TAL_MESSAGE_BOXES";
inline constexpr const char* kMessageBoxesRecorded = "record";

struct TRecordedMessageBox {
  std::string Caption;
  std::string Text;
  UINT Type = 0;
};

// True while the environment asks for boxes to be recorded.
bool MessageBoxesRecorded();
// Keeps the box, writes it to standard error and returns the button that a
// box nobody answers gives (DefaultMessageBoxAnswer).
int RecordMessageBox(const std::string& Text, const std::string& Caption, UINT Type);
// The same without writing it: for a backend whose boxes only tests and fuzz
// runs see, which take them from the record.
int KeepMessageBox(const std::string& Text, const std::string& Caption, UINT Type);
// The boxes recorded since the last call, oldest first; the record is empty
// afterwards. Safe from any thread.
std::vector<TRecordedMessageBox> TakeRecordedMessageBoxes();

// The first button of the box's kind: OK, or Yes where the box asks.
int DefaultMessageBoxAnswer(UINT Type);
