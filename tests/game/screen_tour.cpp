#include "tests/game/screen_tour.h"

#include "framework/stdctrls.h"
#include "game/core/main_form.h"
#include "game/screens/interface_sprite.h"
#include "game/screens/screen_kit.h"

namespace {

// SDL scancodes.
constexpr int kEnter = 40, kEscape = 41;

// A screen has to stand this long before it is looked at: long enough for a
// hovered button to light and the frame to show it.
constexpr uint64_t kSettleMs = 300;
// An act that changed nothing by then is made again (a click can come while
// a screen still refuses it, as the ready screen does until the ship is up).
constexpr uint64_t kRetryMs = 2500;

bool In(const char* State) {
  return GameState == State;
}

bool Settled() {
  if (GameState == "mainmenu") return ScreenFadeStep <= 0;
  if (GameState == "levelcomplete" || GameState == "newlevel")
    return StatStep >= 30 && DoorTop && DoorTop->Y == 0;
  if (GameState == "gameover")
    return StatStep >= 30 && GameOverMainButton && GameOverMainButton->Visible;
  if (GameState == "ready")
    return ReadyBanner && ReadyBanner->X == 154 && DoorTop && !DoorTop->Visible;
  if (GameState == "game")
    return DoorTop && !DoorTop->Visible && ReadyBanner && !ReadyBanner->Visible;
  return true;
}

bool Showing(const char* State, const char* Backdrop) {
  return In(State) && PictureName(BackdropSprite) == Backdrop;
}

}  // namespace

TScreenTour::TScreenTour(THands Hands, TLook Look)
    : hands_(std::move(Hands)), look_(std::move(Look)) {
  Build();
}

std::string TScreenTour::StartingIni() {
  return "[Options]\nControls=1\nMusicLevel=0\nSoundFxLevel=5\nRadioVoxLevel=5\nBrightness=50\n"
         "[User]\nStatus=7\n"
         "[Table]\nn1=VEGA\ns1=48210\nn2=ORION\ns2=31075\nn3=LYRA\ns3=12990\n"
         "n4=DRACO\ns4=7405\nn5=ARA\ns5=2260\n"
         "[eB]\ne=0205011314\n";
}

void TScreenTour::ClickOn(const TImageSprite* Sprite) {
  if (Sprite && Sprite->Visible)
    hands_.Click(static_cast<int>(Sprite->X) + Sprite->Width / 2,
                 static_cast<int>(Sprite->Y) + Sprite->Height / 2);
}

void TScreenTour::Build() {
  auto button = [this](int I) {
    return [this, I] { ClickOn(MenuButtons[static_cast<size_t>(I)]); };
  };
  auto state = [](const char* S) { return [S] { return In(S); }; };
  auto click = [this] { hands_.Click(400, 300); };
  auto add = [this](std::string Look, std::function<bool()> Ready, std::function<void()> Act) {
    stages_.push_back({std::move(Look), std::move(Ready), std::move(Act)});
  };
  // Into a mission from the main menu: difficulty, episode, mission.
  auto intoMission = [&](int Difficulty, bool Look) {
    add(Look ? "difficulty" : "", state("difficulty"), button(Difficulty));
    add(Look ? "chooseepisode" : "", state("chooseepisode"), button(mbEpisode1));
    add(Look ? "choosemission1" : "", state("choosemission1"), button(mbMission1));
  };
  auto toPlay = [&](bool Look) {
    add(Look ? "levelcomplete" : "", state("levelcomplete"), click);
    add(Look ? "newlevel" : "", state("newlevel"), click);
    add(Look ? "ready" : "", state("ready"), click);
  };

  add("", state("intro2"), [this] { hands_.Key(kEscape); });
  add("mainmenu", state("mainmenu"), button(mbExitGame));
  add(
      "message", [] { return In("message") && PrevGameState == "mainmenu"; }, button(mbCancel));
  add("", state("mainmenu"), button(mbOptions));
  add("options", state("options"), button(mbSoundOptions));
  add("soundoptions", state("soundoptions"), button(mbBack));
  add("", state("options"), button(mbGraphicOptions));
  add("graphicoptions", state("graphicoptions"), button(mbBack));
  add("", state("options"), button(mbControlsOptions));
  add("controlsoptions", state("controlsoptions"), button(mbBack));
  add("", state("options"), button(mbBack));
  add("", state("mainmenu"), button(mbHelp));
  add(
      "help", [] { return Showing("credits", "help"); }, button(mbBack));
  add("", state("mainmenu"), button(mbCredits));
  add(
      "credits", [] { return Showing("credits", "credits"); }, button(mbBack));
  add("", state("mainmenu"), button(mbTopRanks));
  add(
      "topranks", [] { return In("topranks") && !NameEntryPanel->Visible; }, button(mbClear));
  add(
      "topranks_message", [] { return In("message") && PrevGameState == "topranks"; },
      button(mbCancel));
  add(
      "", [] { return In("topranks"); }, button(mbBack));
  add("", state("mainmenu"), button(mbNewGame));
  // Episode 2 and back, then mission 1 of episode 1.
  add("difficulty", state("difficulty"), button(mbNormal));
  add("chooseepisode", state("chooseepisode"), button(mbEpisode2));
  add("choosemission2", state("choosemission2"), button(mbBack));
  add("", state("chooseepisode"), button(mbEpisode1));
  add("choosemission1", state("choosemission1"), button(mbMission1));
  toPlay(true);
  // The extra weapon's code, so the heads-up display shows all it can.
  add("", state("game"), [this] {
    for (char c : std::string("WHOYU")) hands_.Key(4 + (c - 'A'));
  });
  add(
      "game", [] { return In("game") && ExtraWeaponIcon && ExtraWeaponIcon->Visible; },
      [this] { hands_.Key(kEscape); });
  add("pause", state("pause"), [this] { ClickOn(PauseExitButton); });
  add(
      "pause_message", [] { return In("message") && PrevGameState == "pause"; }, button(mbCancel));
  add("", state("pause"), [this] { ClickOn(PauseLaptop); });
  add("book", state("book"), [this] { ClickOn(BookCloseButton); });
  add("", state("pause"), [this] { ClickOn(PauseResumeButton); });
  // The ship sits still until it is shot down.
  add("gameover", state("gameover"), [this] { ClickOn(GameOverMainButton); });
  add(
      "", [] { return In("topranks") && NameEntryPanel->Visible; }, [this] { hands_.Type("ACE"); });
  add(
      "nameentry",
      [] { return In("topranks") && NameEntryPanel->Visible && MainForm->Edit1->Text() == "ACE"; },
      [this] { hands_.Key(kEnter); });
  add(
      "", [] { return In("topranks") && !NameEntryPanel->Visible; }, button(mbBack));
  // A second game, ended on the victory screen.
  add("", state("mainmenu"), button(mbNewGame));
  intoMission(mbEasy, false);
  toPlay(false);
  add("", state("game"), [] { gotovictory(); });
  add("victory", state("victory"), click);
  add(
      "", [] { return !In("victory"); }, [] {});
}

std::vector<std::string> TScreenTour::Screens() {
  TScreenTour tour({}, {});
  std::vector<std::string> names;
  for (const TStage& s : tour.stages_)
    if (!s.Look.empty()) names.push_back(s.Look);
  return names;
}

std::string TScreenTour::Waiting() const {
  std::string at = next_ < stages_.size() ? std::to_string(next_) : "the end";
  return "stage " + at + " of " + std::to_string(stages_.size()) + " in \"" + GameState + "\"";
}

bool TScreenTour::Step(uint64_t NowMs) {
  if (next_ >= stages_.size()) return false;
  TStage& stage = stages_[next_];
  const bool ready = stage.Ready() && Settled();
  if (ready && !wasReady_) readySince_ = NowMs;
  wasReady_ = ready;
  if (ready && NowMs - readySince_ >= kSettleMs) {
    if (!stage.Look.empty() && look_) look_(stage.Look);
    actedIn_ = GameState;
    actedAt_ = NowMs;
    wasReady_ = false;
    ++next_;
    stage.Act();
    return next_ < stages_.size();
  }
  // The last act changed nothing: once more.
  if (!ready && next_ > 0 && GameState == actedIn_ && NowMs - actedAt_ >= kRetryMs) {
    actedAt_ = NowMs;
    stages_[next_ - 1].Act();
  }
  return true;
}
