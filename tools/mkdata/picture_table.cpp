#include "tools/mkdata/picture_table.h"

#include <string>

namespace {

// Colour choices (hues around the wheel) so related pictures look related.
enum {
  hRed = 0,
  hOrange = 1,
  hYellow = 2,
  hLime = 3,
  hGreen = 4,
  hTeal = 5,
  hCyan = 6,
  hSky = 7,
  hBlue = 8,
  hViolet = 9,
  hMagenta = 10,
  hPink = 11
};

class TBuilder {
 public:
  std::vector<TPictureSpec> Items;
  std::string Archive;

  TPictureSpec& Add(const std::string& Name, int W, int H, int Frames, TPictureKind Kind,
                    const std::string& Caption = "", int Hue = 0, int Variant = 0) {
    TPictureSpec s;
    s.Archive = Archive;
    s.Name = Name;
    s.Width = W;
    s.Height = H;
    s.Frames = Frames;
    s.Kind = Kind;
    s.Caption = Caption;
    s.Hue = Hue;
    s.Variant = Variant;
    Items.push_back(s);
    return Items.back();
  }
  // A button and its hovered form: the game swaps between Name and Name + Lit.
  void Button(const std::string& Name, int W, int H, const std::string& Caption,
              const std::string& Lit = "_lighted", int Hue = hGreen) {
    Add(Name, W, H, 1, pkButton, Caption, Hue, 0);
    Add(Name + Lit, W, H, 1, pkButton, Caption, Hue, 1);
  }
  void Backdrop(const std::string& Name, const std::string& Title, int Hue) {
    Add(Name, 800, 600, 1, pkBackdrop, Title, Hue).Transparent = false;
  }
};

// The enemy types as the game lists them: model picture, frame count, book
// name. Formation craft (the "s_" models) are smaller than path flyers.
struct TEnemyModel {
  const char* Model;
  int Frames;
  const char* Title;
};
constexpr TEnemyModel kEnemies[19] = {
    {"enemy1", 10, "X-ALIEN M1"},    {"enemy2", 18, "INVADER"},
    {"enemy3", 14, "SHOOK"},         {"s_enemy1", 20, "STEEL-1"},
    {"s_enemy2", 20, "STEEL-2"},     {"enemy4", 10, "ZETOL-M"},
    {"s_enemy3", 14, "MB-1A"},       {"enemy5", 20, "OBSERVER"},
    {"s_enemy4", 14, "ZIPPER"},      {"enemy6", 10, "X-ALIEN M2"},
    {"enemy7", 18, "MEGA INVADER"},  {"s_enemy5", 14, "SPHERON"},
    {"enemy8", 20, "SKULL"},         {"enemy9", 10, "OBSERVER B7"},
    {"s_enemy6", 10, "STEEL RAT-1"}, {"s_enemy7", 10, "STEEL RAT-2"},
    {"enemy10", 20, "RASH"},         {"enemy11", 20, "BOMBARDIER"},
    {"enemy12", 22, "BRAIN"},
};

std::vector<TPictureSpec> Build() {
  TBuilder b;

  // ---- data.dan: the first image list. After a lost display the game
  // stretches this list's first picture over the whole screen, so that one
  // is an opaque screen-shaped backdrop; the game never asks for it by name.
  b.Archive = "data.dan";
  b.Add("restore_screen", 400, 300, 1, pkBackdrop, "TALOREN", hBlue).Transparent = false;
  b.Add("cursor_image_v1_1", 32, 32, 1, pkCursor, "", hLime);
  b.Add("Player1fire_fx", 16, 24, 5, pkFlame, "", hOrange, 1);
  b.Add("asteroid1", 64, 64, 16, pkAsteroid, "", hOrange, 0);
  b.Add("asteroid2", 48, 48, 16, pkAsteroid, "", hYellow, 1);

  // ---- info.dan: the enemy book.
  b.Archive = "info.dan";
  b.Backdrop("bg", "ENEMY BOOK", hTeal);
  b.Add("incoming_message", 240, 30, 15, pkCaption, "INCOMING MESSAGE", hYellow, 1);
  b.Button("close", 80, 30, "CLOSE", "_lighted", hTeal);
  b.Add("fx", 114, 116, 10, pkOverlay, "", hCyan, 1);
  b.Button("b0", 180, 26, "- - -", "_lighted", hTeal);
  for (int t = 1; t <= 19; ++t) {
    b.Button("b" + std::to_string(t), 180, 26, kEnemies[t - 1].Title, "_lighted", hTeal);
    b.Add("art" + std::to_string(t), 160, 200, 1, pkPanel, kEnemies[t - 1].Title, t % 12, t);
  }

  // ---- video.dan: full-screen pictures of the intro and the menus.
  b.Archive = "video.dan";
  b.Backdrop("partner_logo", "PARTNER", hBlue);
  b.Backdrop("quorvil", "QUORVIL", hViolet);
  b.Backdrop("logotip", "TALOREN", hSky);
  b.Backdrop("gamelogo", "TALOREN: OSTRIME", hCyan);
  b.Backdrop("background", "", hBlue);
  b.Backdrop("topranks", "TOP RANKS", hBlue);
  b.Backdrop("credits", "CREDITS", hViolet);
  b.Backdrop("help", "HELP", hTeal);
  b.Backdrop("finish_bg", "VICTORY", hYellow);

  // ---- explosions.dan: 21-frame explosions and their overlays.
  b.Archive = "explosions.dan";
  b.Add("ExplosionFx1", 64, 64, 21, pkBlast, "", hOrange, 1);
  b.Add("ExplosionFx2", 96, 96, 21, pkBlast, "", hYellow, 2);
  b.Add("ExplosionFx3", 64, 64, 21, pkBlast, "", hRed, 3);
  b.Add("ExplosionFx4", 80, 80, 21, pkBlast, "", hMagenta, 4);
  b.Add("ExplosionFx5", 96, 96, 21, pkBlast, "", hCyan, 5);
  b.Add("mesh1", 64, 64, 21, pkMesh, "", hOrange, 1);
  b.Add("mesh2", 64, 64, 21, pkMesh, "", hYellow, 2);

  // ---- fx.dan: muzzle flashes, glows, smoke, flames, splinters, health bar.
  b.Archive = "fx.dan";
  b.Add("playersmoke1", 16, 16, 15, pkPuff, "", hYellow, 1);
  b.Add("playersmoke2", 16, 16, 15, pkPuff, "", hOrange, 1);
  b.Add("playersmoke4", 20, 20, 15, pkPuff, "", hCyan, 1);
  b.Add("smokeshoot1", 24, 24, 16, pkPuff, "", hRed, 1);
  b.Add("smokeshoot2", 24, 24, 16, pkPuff, "", hMagenta, 1);
  b.Add("smokeshoot3", 24, 24, 16, pkPuff, "", hGreen, 1);
  b.Add("smoke0", 10, 16, 1, pkPuff, "", hOrange, 2);
  b.Add("smoke1", 10, 20, 7, pkPuff, "", hSky, 2);
  b.Add("smoke3", 10, 20, 7, pkPuff, "", hPink, 2);
  b.Add("pixel_smoke2", 5, 5, 50, pkPuff, "", hOrange, 3);
  b.Add("pixel_smoke3", 5, 5, 50, pkPuff, "", hTeal, 3);
  b.Add("playerthor1", 12, 20, 6, pkFlame, "", hSky, 0);
  b.Add("showhealth", 32, 4, 1, pkBar, "", hLime, 0);
  for (int i = 1; i <= 8; ++i) b.Add("splinter" + std::to_string(i), 6, 6, 1, pkSplinter, "", i, i);

  // ---- bonuses.dan: the eight capsules (letters say what they give) and
  // the bomb's splinter.
  b.Archive = "bonuses.dan";
  const char* letters[8] = {"P", "U", "A", "R", "1", "G", "B", "2"};
  const int hues[8] = {hYellow, hGreen, hSky, hOrange, hCyan, hViolet, hRed, hMagenta};
  for (int k = 1; k <= 8; ++k)
    b.Add("bonus" + std::to_string(k), 32, 32, (k == 5 || k == 8) ? 10 : 20, pkBonus,
          letters[k - 1], hues[k - 1]);
  b.Add("bonus7splinter", 8, 8, 1, pkSplinter, "", hRed, 9);

  // ---- interface.dan: menus, heads-up display, transitions, pause menu.
  b.Archive = "interface.dan";
  b.Button("gameovermain", 200, 40, "MAIN MENU");
  b.Button("gameoverexit", 200, 40, "EXIT GAME");
  b.Add("1fx1", 200, 150, 4, pkOverlay, "", hBlue, 0);
  b.Add("pausemenupanel", 800, 170, 1, pkPanel, "PAUSE", hBlue, 0);
  b.Button("pausemenulaptop", 200, 32, "ENEMY BOOK", "_lighted", hSky);
  b.Button("pausemenuresume", 200, 32, "RESUME", "_lighted", hSky);
  b.Button("pausemenumain", 200, 32, "MAIN MENU", "_lighted", hSky);
  b.Button("pausemenuexit", 200, 32, "EXIT GAME", "_lighted", hSky);
  b.Add("ready", 492, 60, 1, pkCaption, "GET READY", hYellow, 0);
  b.Add("newlevel_mission", 32, 32, 10, pkNumbers, "", hYellow);
  b.Button("NewGameButton", 184, 34, "NEW GAME");
  b.Button("TopRanksButton", 184, 34, "TOP RANKS");
  b.Button("OptionsButton", 184, 34, "OPTIONS");
  b.Button("HelpButton", 184, 34, "HELP");
  b.Button("CreditsButton", 184, 34, "CREDITS");
  b.Button("ExitGameButton", 184, 34, "EXIT");
  b.Button("BackButton", 184, 34, "BACK");
  b.Button("SoundOptionsButton", 184, 34, "SOUND");
  b.Button("GraphicOptionsButton", 184, 34, "GRAPHICS");
  b.Button("ControlsOptionsButton", 184, 34, "CONTROLS");
  b.Button("mouse", 150, 90, "MOUSE", "_lighted", hSky);
  b.Button("keyboard", 150, 90, "KEYBOARD", "_lighted", hSky);
  b.Button("joystick", 150, 90, "JOYSTICK", "_lighted", hSky);
  b.Button("ChooseEpisode1Button", 184, 34, "EPISODE 1");
  b.Button("ChooseEpisode2Button", 184, 34, "EPISODE 2");
  // An open mission shows "mission" + i + "lighted" (no underscore).
  for (int i = 1; i <= 5; ++i)
    b.Button("mission" + std::to_string(i), 184, 34, "MISSION " + std::to_string(i), "lighted");
  // Low enough to stand inside the panel (Y 260 to 340) from Y 309.
  b.Button("ays_ok", 100, 24, "OK", "_lighted", hRed);
  b.Button("ays_cancel", 100, 24, "CANCEL", "_lighted", hRed);
  b.Add("ays_panel", 270, 80, 1, pkPanel, "ARE YOU SURE?", hRed);
  b.Button("clear", 184, 34, "CLEAR", "_lighted", hRed);
  b.Button("easy", 250, 32, "EASY", "_lighted", hLime);
  b.Button("normal", 250, 32, "NORMAL", "_lighted", hYellow);
  b.Button("hard", 250, 32, "HARD", "_lighted", hRed);
  b.Add("stvorka1", 800, 358, 1, pkDoor, "MISSION  EPISODE  LEVEL", hSky, 0).Transparent = false;
  b.Add("stvorka2", 800, 322, 1, pkDoor, "", hSky, 1).Transparent = false;
  b.Add("enter_name", 400, 120, 1, pkPanel, "ENTER YOUR NAME", hGreen);
  b.Add("element", 18, 24, 1, pkElement, "", hGreen, 0);
  b.Add("element_checked", 18, 24, 1, pkElement, "", hGreen, 1);
  b.Button("minus", 24, 24, "-");
  b.Button("plus", 24, 24, "+");
  b.Add("music_volume", 300, 30, 1, pkCaption, "MUSIC VOLUME", hGreen);
  b.Add("sound_volume", 300, 30, 1, pkCaption, "SOUND VOLUME", hGreen);
  b.Add("radiovox_volume", 300, 30, 1, pkCaption, "RADIO VOLUME", hGreen);
  b.Add("leftpanel", 102, 600, 1, pkPanel, "", hBlue, 0).Transparent = false;
  b.Add("scorefont", 11, 14, 11, pkDigits, "", hYellow);
  b.Add("scorefont2", 10, 14, 11, pkDigits, "", hGreen);
  b.Add("scorefont3", 12, 16, 11, pkDigits, "", hYellow);
  b.Add("face_fx", 80, 60, 10, pkOverlay, "", hGreen, 2);
  b.Add("face_empty", 80, 60, 40, pkFace, "", hSky, 0);
  b.Add("face_speak", 80, 60, 40, pkFace, "", hSky, 1);
  b.Add("face_hit", 80, 60, 40, pkFace, "", hRed, 2);
  for (int p = 1; p <= 5; ++p)
    b.Add("primary" + std::to_string(p), 32, 44, 1, pkIcon, std::to_string(p), hYellow, 0);
  b.Add("secondary0", 32, 32, 1, pkIcon, "0", hRed, 1);
  b.Add("secondary1", 32, 32, 1, pkIcon, "R", hOrange, 1);
  b.Add("godindicator", 12, 230, 10, pkBar, "", hViolet, 1);

  // ---- bg.dan: scrolling background layers, repeated over the screen.
  b.Archive = "bg.dan";
  for (int i = 1; i <= 5; ++i)
    b.Add("back" + std::to_string(i), 256, 256, 1, pkTile, "", 6 + i, i).Transparent = false;
  for (int i = 1; i <= 3; ++i)
    b.Add("stars" + std::to_string(i), 256, 256, 1, pkStars, "", hSky, i);
  for (int i = 1; i <= 4; ++i)
    b.Add("layer" + std::to_string(i), 256, 256, 1, pkLayer, "", 2 * i, i);

  // ---- models.dan: the ship, its hit boxes, enemies and bosses.
  b.Archive = "models.dan";
  b.Add("player1left", 64, 57, 10, pkShip, "", hSky, 0);
  b.Add("player1right", 64, 57, 10, pkShip, "", hSky, 1);
  b.Add("player1left_armor", 64, 57, 10, pkShip, "", hLime, 0);
  b.Add("player1right_armor", 64, 57, 10, pkShip, "", hLime, 1);
  b.Add("player1left_god", 64, 57, 10, pkShip, "", hYellow, 0);
  b.Add("player1right_god", 64, 57, 10, pkShip, "", hYellow, 1);
  b.Add("collision1", 32, 26, 1, pkHitBox, "", hRed);
  b.Add("collision2", 64, 20, 1, pkHitBox, "", hRed);
  b.Add("collision3", 48, 30, 1, pkHitBox, "", hRed);
  b.Add("addon1", 92, 20, 10, pkMount, "", hCyan, 2);
  for (int t = 1; t <= 19; ++t) {
    const TEnemyModel& e = kEnemies[t - 1];
    bool small = e.Model[0] == 's';
    b.Add(e.Model, small ? 48 : 64, small ? 40 : 56, e.Frames, pkEnemy, "", (t * 5) % 12, t);
  }
  b.Add("boss1", 780, 140, 1, pkBoss, "", hRed, 1);
  b.Add("boss1weapon1", 56, 56, 16, pkBossPart, "", hOrange, 1);
  b.Add("boss1creator", 64, 64, 1, pkBossPart, "", hViolet, 2);
  b.Add("boss2", 780, 150, 1, pkBoss, "", hViolet, 2);
  b.Add("boss2generator", 56, 56, 1, pkBossPart, "", hGreen, 3);
  b.Add("boss3", 420, 260, 10, pkBoss, "", hTeal, 3);
  b.Add("boss3generator", 64, 64, 10, pkBossPart, "", hMagenta, 3);

  // ---- weapons.dan: shots, mounts and impact flashes. The game finds the
  // player's shots by lower-case names.
  b.Archive = "weapons.dan";
  b.Add("clip1", 8, 16, 6, pkShot, "", hYellow, 0);
  b.Add("clip2", 6, 14, 6, pkShot, "", hLime, 0);
  b.Add("clip3", 10, 20, 10, pkShot, "", hCyan, 0);
  b.Add("clip4", 8, 16, 8, pkShot, "", hSky, 0);
  b.Add("2clip1", 10, 24, 10, pkShot, "", hOrange, 1);
  b.Add("2clip2", 6, 6, 20, pkShot, "", hOrange, 2);
  b.Add("3clip1", 8, 18, 5, pkShot, "", hMagenta, 0);
  b.Add("3clip2", 8, 16, 10, pkShot, "", hPink, 0);
  b.Add("clipexplosion1", 24, 24, 20, pkBlast, "", hYellow, 1);
  b.Add("clipexplosion2", 24, 24, 20, pkBlast, "", hLime, 1);
  b.Add("clipexplosion3", 24, 24, 20, pkBlast, "", hCyan, 1);
  b.Add("clipexplosion4", 32, 32, 11, pkBlast, "", hOrange, 1);
  for (int p = 1; p <= 5; ++p)
    b.Add("primary" + std::to_string(p), 24, 40, 10, pkMount, std::to_string(p), hYellow, 0);
  b.Add("secondary1", 92, 24, 10, pkMount, "", hOrange, 1);
  struct {
    const char* Name;
    int Frames;
    int Hue;
    int Variant;
  } shots[] = {
      {"bomb2", 11, hRed, 3},           {"enemy2clip", 1, hOrange, 4},
      {"special1", 8, hMagenta, 3},     {"sphere2", 5, hViolet, 3},
      {"enemy5clip", 6, hRed, 4},       {"enemy4clip", 8, hPink, 4},
      {"enemy7clip", 8, hOrange, 3},    {"enemy8clip", 8, hMagenta, 3},
      {"enemy9clip", 11, hRed, 4},      {"enemy10clip", 11, hPink, 3},
      {"enemy11clip", 1, hOrange, 4},   {"enemy12clip", 8, hViolet, 3},
      {"enemy14clip", 8, hRed, 3},      {"enemy15clip", 10, hPink, 4},
      {"enemy16clip", 10, hMagenta, 4}, {"enemy17clip", 10, hOrange, 3},
      {"enemy19clip", 11, hRed, 3},
  };
  for (const auto& s : shots) b.Add(s.Name, 12, 12, s.Frames, pkShot, "", s.Hue, s.Variant);

  return b.Items;
}

}  // namespace

const std::vector<std::string>& ArchiveNames() {
  static const std::vector<std::string> names = {
      "data.dan",    "info.dan",      "video.dan", "explosions.dan", "fx.dan",
      "bonuses.dan", "interface.dan", "bg.dan",    "models.dan",     "weapons.dan"};
  return names;
}

const std::vector<TPictureSpec>& PictureTable() {
  static const std::vector<TPictureSpec> table = Build();
  return table;
}
