// A first run: the setup program saves before any game.INI exists, and the
// game that loads that file plays from the keyboard with its own keys.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "game/play/ship_test_fixture.h"
#include "platform/win/user_seam.h"
#include "setup/options_dialog.h"
#include "setup/setup_resources.h"

namespace {

namespace fs = std::filesystem;

// SDL scancodes.
constexpr int kSpace = 44, kLeftArrow = 80, kRightArrow = 79, kH = 11, kL = 15, kZ = 29, kX = 27;

class FirstRun : public TPlayFixture {
 protected:
  void SetUp() override {
    TPlayFixture::SetUp();
    folder_ = fs::temp_directory_path() / ("tal_first_run_" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    SetProgramFolder(folder_.string() + "/");
  }
  void TearDown() override {
    SetProgramFolder("");
    fs::remove_all(folder_);
    TPlayFixture::TearDown();
  }
  std::string Ini() const {
    std::ifstream in(folder_ / "game.INI", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path folder_;
};

TEST_F(FirstRun, TheSetupsFirstSaveKeepsTheGamePlayableFromTheKeyboard) {
  // The player opens the setup, picks the keyboard and saves.
  RegisterSetupResources();
  {
    auto setup = std::make_unique<TForm1>(nullptr);
    setup->FormCreate(nullptr);
    setup->BitBtn7Click(nullptr);
    ASSERT_EQ(setup->Controls, 2);
    setup->SaveIniFile();
  }
  for (const auto& b : TakeRecordedMessageBoxes()) ADD_FAILURE() << b.Caption << ": " << b.Text;
  EXPECT_NE(Ini().find("[Keys]\r\nLeft=37\r\nRight=39\r\nPrimary=32\r\nSecondary=16\r\n"),
            std::string::npos)
      << Ini();

  LoadIniFile();
  ASSERT_EQ(GameOptions.Controls, 2);
  MakeShip();
  struct TCase {
    const char* Key;
    int Scancode;
    int32_t Controls;
    double Moved;
    bool Fires;
  } cases[] = {
      {"Space", kSpace, 2, 0, true},
      {"left arrow", kLeftArrow, 2, -8, false},
      {"right arrow", kRightArrow, 2, 8, false},
      // Letters are not the game's: none steers or fires, in either mode.
      {"H", kH, 2, 0, false},
      {"L", kL, 2, 0, false},
      {"Z", kZ, 2, 0, false},
      {"Z", kZ, 1, 0, false},
      {"X", kX, 1, 0, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Key << " in mode " << c.Controls);
    GameOptions.Controls = c.Controls;
    HeadlessKeyDown(c.Scancode);
    PollInput();
    PlayerShip->X = 300;
    Player.PrimaryReload = 10;
    PrimaryCounter = 10;
    const size_t shots = All<TWeaponSprite>().size();
    Frame(16);
    EXPECT_EQ(PlayerShip->X, 300 + c.Moved);
    EXPECT_EQ(All<TWeaponSprite>().size() > shots, c.Fires);
    HeadlessKeyUp(c.Scancode);
    PollInput();
  }
}

}  // namespace
