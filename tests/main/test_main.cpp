// The main of every test program. Message boxes that a backend would draw on
// a real display are recorded instead of shown (the programs a test starts
// inherit the switch), and a test that leaves one behind fails, naming it: a
// test can neither wait on a box nor pass without seeing one.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/win/user_seam.h"

namespace {

class TUntakenMessageBoxes : public testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo&) override {
    for (const TRecordedMessageBox& box : TakeRecordedMessageBoxes())
      ADD_FAILURE() << "A message box was shown and the test did not take it: [" << box.Caption
                    << "] " << box.Text;
  }
};

}  // namespace

int main(int argc, char** argv) {
  setenv(kMessageBoxesVariable, kMessageBoxesRecorded, 1);
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new TUntakenMessageBoxes);
  return RUN_ALL_TESTS();
}
