// The game's main form on the real backend: started as the game program
// starts, in a window of a virtual X server, on the real clock, in a program
// folder without game.INI (but with the audio libraries, as the game's own
// folder has them). No message box is shown on the way; leaving through
// AbsoluteClose writes a game.INI that the next start reads back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "framework/forms.h"
#include "game/core/main_form.h"
#include "platform/backend/sdl/sdl_core.h"
#include "platform/backend/sdl/xvfb_server.h"
#include "platform/win/files.h"
#include "platform/win/library.h"
#include "platform/win/user_seam.h"
#include "programs/startup.h"
#include "tests/under_x.h"

namespace {

namespace fs = std::filesystem;

// Counts the frames' move passes and leaves the game after Frames of them.
class TFrameCounter : public TSprite {
 public:
  TFrameCounter(TSprite* Parent, int Frames) : TSprite(Parent), frames_(Frames) {}
  void DoMove(int32_t) override {
    if (++Moves == frames_) AbsoluteClose();
  }
  int Moves = 0;

 private:
  int frames_;
};

TEST(GameUnderX, MainFormStartsDrawsAndLeavesASettingsFileBehind) {
  const std::string data = std::string(TAL_BIN_DIR) + "/data";
  ASSERT_TRUE(FileExists(data + "/graphic/data.dan")) << data << " holds no archives";
  TXvfbServer server;
  StartGameX(server);
  if (HasFatalFailure() || IsSkipped()) return;

  const fs::path root = fs::temp_directory_path() / ("tal_game_x_" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root);
  fs::create_directory_symlink(data, root / "data");
  // The audio libraries beside the program, as in the game's own folder.
  for (const char* lib : {"libbass.so", "libbasswma.so"})
    fs::create_symlink(std::string(TAL_BIN_DIR) + "/" + lib, root / lib);
  const std::string saved_dir = GetCurrentDir();
  SetProgramFolder(root.string());

  constexpr int kFrames = 90;
  {
    TApplicationScope scope;
    ASSERT_TRUE(StartPlatform(dbGame));
    TMainForm* form = CreateGame();
    ASSERT_NE(CursorSprite, nullptr);  // start-up went through
    auto* counter = new TFrameCounter(form->DXSpriteEngine->Engine(), kFrames);
    GameOptions.Brightness = 63;
    TopRanks[1] = {"Ace", 5000000000LL};
    Player.BestTimes[42] = 77;
    Application->Run();
    EXPECT_EQ(counter->Moves, kFrames);
    EXPECT_GT(form->DXTimer->FrameRate(), 0);
    EXPECT_TRUE(fs::is_regular_file(root / "game.INI"));
    for (const TRecordedMessageBox& box : TakeRecordedMessageBoxes())
      ADD_FAILURE() << "message box shown: [" << box.Caption << "] " << box.Text;

    TXvfbServer::KeepLibraries();
    StopPlatform();
  }

  // The next start.
  GameOptions = TGameOptions();
  TopRanks = {};
  Player.BestTimes = {};
  LoadIniFile();
  EXPECT_EQ(GameOptions.Brightness, 63);
  EXPECT_EQ(TopRanks[1].Name, "Ace");
  EXPECT_EQ(TopRanks[1].Score, 5000000000LL);
  EXPECT_EQ(Player.BestTimes[42], 77);
  EXPECT_EQ(Player.Status, 2);

  SetCurrentDir(saved_dir);
  SetProgramFolder("");
  fs::remove_all(root);
}

}  // namespace
