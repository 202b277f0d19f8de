// Every screen of the game, headless on the virtual clock, taken apart into
// its pictures and texts once it has settled: no words or digits are cut or
// covered by another picture or stand on one that is not their ground, the
// overlaps that are meant are listed in one table (screen_layers.cpp), and
// every text reads at 4.5:1 or better against what lies under it. The book's
// information lines share one indent.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "framework/forms.h"
#include "game/core/main_form.h"
#include "platform/backend/headless/headless_input.h"
#include "platform/win/user_seam.h"
#include "tests/game/game_harness.h"
#include "tests/game/screen_layers.h"
#include "tests/game/screen_tour.h"

namespace {

namespace fs = std::filesystem;

// The left edge of the book's information lines (name, price and reload
// speed), which share one indent. The health line is set in under them on
// purpose, with seven spaces from X 236, so it is not one of them.
std::map<int, std::string> BookIndents(const TScreenPicture& Screen) {
  std::map<int, std::string> edges;
  for (const TLayer& l : Screen.Layers) {
    if (l.Sprite || l.Texts.empty()) continue;
    const std::string& t = l.Texts[0].Text;
    for (const char* label : {"Name:", "Price:", "Reload speed:"})
      if (t.find(label) != std::string::npos) edges[l.Bounds.Left] += " \"" + t + "\"";
  }
  return edges;
}

TEST(ScreenLayout, EveryScreenReadsCleanly) {
  const std::string dir = MakeGameFolder(
      (fs::temp_directory_path() / ("tal_screen_layout_" + std::to_string(getpid()))).string(),
      true);
  std::ofstream(dir + "/game.INI") << TScreenTour::StartingIni();

  std::vector<std::string> looked;
  std::map<std::string, std::vector<std::string>> faults;
  TScreenTour tour({[](int X, int Y) { HeadlessClick(X, Y); },
                    [](int Key) {
                      HeadlessKeyDown(Key);
                      HeadlessKeyUp(Key);
                    },
                    [](const std::string& Text) { HeadlessTypeText(Text.c_str()); }},
                   [&](const std::string& Screen) {
                     looked.push_back(Screen);
                     const TScreenPicture picture = TakeScreenApart();
                     faults[Screen] = ScreenFaults(picture);
                     if (Screen == "book") {
                       const std::map<int, std::string> edges = BookIndents(picture);
                       if (edges.size() != 1) {
                         std::string seen;
                         for (const auto& [x, lines] : edges)
                           seen += " x " + std::to_string(x) + ":" + lines;
                         faults[Screen].push_back("the information lines start at " +
                                                  std::to_string(edges.size()) + " places:" + seen);
                       }
                     }
                   });
  {
    TGameRun run(dir, 20261217);
    bool going = true;
    run.Play(
        [&] {
          if (going) going = tour.Step(run.ElapsedMs());
          if (!going) Application->Terminate();
        },
        6 * 60 * 1000);
    EXPECT_FALSE(going) << "the tour stopped at " << tour.Waiting();
    for (const auto& box : TakeRecordedMessageBoxes())
      ADD_FAILURE() << box.Caption << ": " << box.Text;
  }
  fs::remove_all(dir);

  EXPECT_EQ(looked, TScreenTour::Screens());
  for (const auto& [screen, list] : faults) {
    std::string all;
    for (const std::string& f : list) all += "\n  " + f;
    EXPECT_TRUE(list.empty()) << "\"" << screen << "\":" << all;
  }
}

}  // namespace
