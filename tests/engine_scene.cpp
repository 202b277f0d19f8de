#include "tests/engine_scene.h"

#include <algorithm>
#include <cstdlib>

#include "engine/draw/dxdraws.h"
#include "framework/sysutils.h"
#include "platform/gdi/gdi.h"

namespace {

// An explosion: plays its pictures once, then goes.
class TSceneBlast : public TImageSprite {
 public:
  TSceneBlast(TSprite* Parent, TScene& Scene, double CX, double CY) : TImageSprite(Parent) {
    SetImage(Scene.BlastPicture);
    X = CX - Width / 2.0;
    Y = CY - Height / 2.0;
    SetZ(50);
    AnimCount = Scene.BlastPicture->GetPatternCount();
    AnimSpeed = 0.02;
    BlendMode = rtAdd;
    Collisioned = false;
  }
  void DoMove(int32_t MoveCount) override {
    TImageSprite::DoMove(MoveCount);
    life_ -= MoveCount;
    if (life_ <= 0) MarkDead();
  }

 private:
  int32_t life_ = 500;
};

class TSceneEnemy : public TImageSprite {
 public:
  TSceneEnemy(TSprite* Parent, TScene& Scene) : TImageSprite(Parent), scene_(Scene) {
    // Every archive in turn, so each one's pictures are on the screen.
    const size_t archive =
        static_cast<size_t>(scene_.LiveEnemies + scene_.Kills) % scene_.EnemyPictures.size();
    const auto& pictures = scene_.EnemyPictures[archive];
    TPictureCollectionItem* pic =
        pictures[scene_.Random.Next(static_cast<uint32_t>(pictures.size()))];
    scene_.ArchivesShown.insert(scene_.EnemyArchives[archive]);
    SetImage(pic);
    X = scene_.Random.Next(800 - static_cast<uint32_t>(Min(Width, 700)));
    Y = scene_.Random.Next(380);
    vx_ = (static_cast<double>(scene_.Random.Next(200)) - 100) / 1000;
    vy_ = (static_cast<double>(scene_.Random.Next(200)) - 100) / 1000;
    SetZ(static_cast<int32_t>(scene_.Random.Next(5)));
    AnimCount = pic->GetPatternCount();
    AnimLooped = true;
    AnimSpeed = scene_.Random.Next(20) / 1000.0;
    // Most of the game's sprites are plain; a few blend or turn.
    const uint32_t look = scene_.Random.Next(20);
    if (look == 0) BlendMode = rtAdd;
    if (look == 1) BlendMode = rtBlend, Alpha = 160;
    if (look == 2) Angle = static_cast<float>(scene_.Random.Next(256));
    health_ = 1 + static_cast<int32_t>(scene_.Random.Next(3));
    ++scene_.LiveEnemies;
  }
  ~TSceneEnemy() override { --scene_.LiveEnemies; }

  void DoMove(int32_t MoveCount) override {
    TImageSprite::DoMove(MoveCount);
    X += vx_ * MoveCount;
    Y += vy_ * MoveCount;
    if (X < -Width / 2 || X > 800 - Width / 2) vx_ = -vx_;
    if (Y < -Height / 2 || Y > 420) vy_ = -vy_;
    if (Angle != 0) Angle = static_cast<float>((static_cast<int>(Angle) + 1) % 256);
  }

  // One hit; the last one makes an explosion, heard where it happens, and a
  // new enemy comes in.
  void Hit() {
    if (IsDead() || --health_ > 0) return;
    MarkDead();
    ++scene_.Kills;
    const double cx = X + Width / 2.0, cy = Y + Height / 2.0;
    new TSceneBlast(scene_.Form.DXSpriteEngine->Engine(), scene_, cx, cy);
    static const char* const kBooms[] = {"explosion1", "explosion2", "explosion3"};
    scene_.Form.PlaySound(kBooms[scene_.Kills % 3], -300,
                          Max(-10000, Min(10000, Round((cx - 400) * 25))));
    ++scene_.SoundsPlayed;
    scene_.NewEnemy();
  }

 private:
  TScene& scene_;
  double vx_, vy_;
  int32_t health_;
};

class TSceneShot : public TImageSprite {
 public:
  TSceneShot(TSprite* Parent, TScene& Scene, double CX, double Top) : TImageSprite(Parent) {
    SetImage(Scene.ShotPicture);
    X = CX - Width / 2.0;
    Y = Top - Height;
    SetZ(60);
    AnimCount = Scene.ShotPicture->GetPatternCount();
    AnimLooped = true;
    AnimSpeed = 0.01;
  }
  void DoMove(int32_t MoveCount) override {
    TImageSprite::DoMove(MoveCount);
    Y -= 0.6 * MoveCount;
    if (Y < -Height)
      MarkDead();
    else
      Collision();
  }
  void DoCollision(TSprite* Sprite, bool& Done) override {
    if (auto* enemy = dynamic_cast<TSceneEnemy*>(Sprite)) {
      enemy->Hit();
      MarkDead();
      Done = true;
    }
  }
};

}  // namespace

TScene::TScene(TEngineForm& AForm, int Enemies, uint32_t Seed) : Form(AForm), Random{Seed} {
  for (size_t a = 0; a < Form.ImageLists.size(); ++a) {
    TDXImageList* list = Form.ImageLists[a];
    std::vector<TPictureCollectionItem*> pictures;
    for (int i = 0; i < list->Items().Count(); ++i) {
      TPictureCollectionItem* item = list->Items().Items(i);
      // Full-screen pictures would hide everything else.
      if (item->GetPatternCount() < 1 || (item->Width() >= 400 && item->Height() >= 300)) continue;
      pictures.push_back(item);
    }
    if (!pictures.empty()) {
      EnemyPictures.push_back(std::move(pictures));
      EnemyArchives.push_back(TEngineForm::PictureArchives[a]);
    } else if (list->Items().Count() > 0) {
      // An archive of screens only: its first one is the backdrop.
      auto* backdrop = new TImageSprite(Form.DXSpriteEngine->Engine());
      backdrop->SetImage(list->Items().Items(0));
      backdrop->SetZ(-10);
      backdrop->Collisioned = false;
      ++Backdrops;
      ArchivesShown.insert(TEngineForm::PictureArchives[a]);
    }
  }
  if (EnemyPictures.empty()) Raise<Exception>("No picture archive has sprite-sized pictures");
  ShotPicture = Form.ImageListOf("weapons.dan")->Items().Find("clip3");
  BlastPicture = Form.ImageListOf("explosions.dan")->Items().Find("ExplosionFx1");
  Player = new TScenePlayer(Form.DXSpriteEngine->Engine(), *this);
  for (int i = 0; i < Enemies; ++i) NewEnemy();
}

void TScene::NewEnemy() {
  new TSceneEnemy(Form.DXSpriteEngine->Engine(), *this);
}

TScenePlayer::TScenePlayer(TSprite* Parent, TScene& Scene) : TImageSprite(Parent), scene_(Scene) {
  SetImage(scene_.Form.ImageListOf("models.dan")->Items().Find("player1left"));
  X = 368;
  Y = 500;
  SetZ(TScene::ShipZ);
  // Not a target of the shots' collision queries.
  Collisioned = false;
}

void TScenePlayer::DoMove(int32_t MoveCount) {
  const TDXInputBits states = scene_.Form.DXInput->States;
  const double step = TScene::ShipSpeed * MoveCount;
  if (states.Contains(ibLeft)) X -= step;
  if (states.Contains(ibRight)) X += step;
  if (states.Contains(ibUp)) Y -= step;
  if (states.Contains(ibDown)) Y += step;
  X = std::clamp(X, 0.0, 800.0 - Width);
  Y = std::clamp(Y, 0.0, 600.0 - Height);
  reload_ -= MoveCount;
  if (states.Contains(ibButton1) && reload_ <= 0) {
    reload_ = 120;
    new TSceneShot(Engine(), scene_, X + Width / 2.0, Y);
    ++scene_.ShotsFired;
  }
}

double SpriteCoverage(TImageSprite& Sprite, const uint32_t* Pixels, int Width, int Height) {
  TPictureCollectionItem* item = Sprite.GetImage();
  const int pattern = Sprite.Frame();
  TDirectDrawSurface* surface = item->GetPatternSurface(pattern);
  if (!surface) return 0;
  const TRect src = item->GetPatternRect(pattern);
  const TRect at = Sprite.GetDrawRect();
  const uint32_t key = item->Transparent ? surface->ColorToPixel(item->TransparentColor()) : ~0u;
  const DDPIXELFORMAT& f = surface->SurfaceDesc().ddpfPixelFormat;
  const TGdiPixelFormat format = TGdiPixelFormat::Masks(static_cast<int>(f.dwRGBBitCount),
                                                        f.dwRBitMask, f.dwGBitMask, f.dwBBitMask);
  int opaque = 0, shown = 0;
  for (int y = 0; y < src.Height(); ++y)
    for (int x = 0; x < src.Width(); ++x) {
      const int fx = at.Left + x, fy = at.Top + y;
      if (fx < 0 || fy < 0 || fx >= Width || fy >= Height) continue;
      const uint32_t p = surface->Pixel(src.Left + x, src.Top + y);
      if (p == key) continue;
      ++opaque;
      uint8_t r, g, b;
      format.Unpack(p, r, g, b);
      const uint32_t want = uint32_t{r} << 16 | uint32_t{g} << 8 | b;
      shown +=
          Pixels[static_cast<size_t>(fy) * static_cast<size_t>(Width) + static_cast<size_t>(fx)] ==
          want;
    }
  return opaque ? static_cast<double>(shown) / opaque : 0;
}
