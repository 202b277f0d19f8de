// Hostile and damaged data through the real loaders: small files that claim
// huge pictures must be refused before anything is allocated, and a data
// folder with one bad picture, one bad wave or one missing archive must
// still give every other picture and sound.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/dib/dib.h"
#include "engine/draw/dxdraws.h"
#include "engine/draw/pictures.h"
#include "engine/sound/dxsound.h"
#include "engine/sound/wavelist.h"
#include "framework/forms.h"
#include "framework/jpeg.h"
#include "platform/backend/headless/headless_audio.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_video.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_seam.h"
#include "platform/dsound/dsound.h"
#include "platform/win/user_seam.h"
#include "tests/hostile_peak_memory.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// ---- Hand-made files ------------------------------------------------------------

void Put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// A bitmap body (info header, grey table, pixel data) as archives store it.
Bytes DIBBody(int32_t W, int32_t H, uint16_t Bits, uint32_t Compression, const Bytes& Data) {
  Bytes b;
  Put32(b, 40);
  Put32(b, static_cast<uint32_t>(W));
  Put32(b, static_cast<uint32_t>(H));
  Put16(b, 1);
  Put16(b, Bits);
  Put32(b, Compression);
  Put32(b, static_cast<uint32_t>(Data.size()));
  Put32(b, 0);
  Put32(b, 0);
  const int colors = Bits <= 8 ? 1 << Bits : 0;
  Put32(b, static_cast<uint32_t>(colors));
  Put32(b, 0);
  for (int i = 0; i < colors; ++i) {
    const auto g = static_cast<uint8_t>(i * 255 / (colors - 1 ? colors - 1 : 1));
    b.insert(b.end(), {g, g, g, 0});
  }
  b.insert(b.end(), Data.begin(), Data.end());
  return b;
}

Bytes BMPFile(const Bytes& Body) {
  Bytes b = {'B', 'M'};
  Put32(b, static_cast<uint32_t>(Body.size() + 14));
  Put32(b, 0);
  Put32(b, 0);  // where the pixels start: the reader takes them after the table
  b.insert(b.end(), Body.begin(), Body.end());
  return b;
}

// A few runs of colour 200 on the first row, then the end of the picture:
// a handful of bytes whatever the picture's size.
Bytes RLE8Runs() {
  return {255, 200, 255, 200, 10, 200, 0, 1};
}
Bytes RLE4Runs() {
  return {255, 0xCC, 20, 0xCC, 0, 1};
}

// A small JPEG picture whose frame header claims Width x Height.
Bytes JPEGClaiming(uint16_t Width, uint16_t Height) {
  TJPEGImage jpeg;
  jpeg.SetPixels(16, 16, std::vector<uint8_t>(16 * 16 * 3, 128));
  TMemoryStream out;
  jpeg.SaveToStream(out);
  Bytes b = out.Bytes();
  for (size_t i = 2; i + 9 < b.size(); ++i)
    if (b[i] == 0xFF && b[i + 1] == 0xC0) {
      b[i + 5] = uint8_t(Height >> 8);
      b[i + 6] = uint8_t(Height);
      b[i + 7] = uint8_t(Width >> 8);
      b[i + 8] = uint8_t(Width);
      break;
    }
  return b;
}

// A picture archive of one picture read from Body, cut into cells of W x H.
Bytes ArchiveOf(const Bytes& Body, int32_t W, int32_t H) {
  auto dib = std::make_unique<TDIB>();
  TByteStream in(Body.data(), Body.size());
  dib->ReadData(in);  // run-length data stays packed: nothing is expanded here
  TPictureCollection list;
  TPictureCollectionItem* item = list.Add();
  item->SetName("hostile");
  item->PatternWidth = W;
  item->PatternHeight = H;
  item->Picture().TakeGraphic(std::move(dib));
  TMemoryStream out;
  list.SaveToStream(out);
  return out.Bytes();
}

// ---- The engine on the test backend ------------------------------------------------

class HostileData : public ::testing::Test {
 protected:
  void SetUp() override {
    scope_ = std::make_unique<TApplicationScope>();
    HeadlessInstall(1000);
    HeadlessInstallVideo();
    DDRegisterModule();
    HeadlessInstallAudio();
    RegisterDirectSoundModule();
    RegisterDIBGraphicClass();
    form = std::make_unique<TForm>(nullptr);
    form->SetBounds(0, 0, 800, 600);
    draw = new TDXDraw(form.get());
    draw->SetParent(form.get());
    draw->SetAutoSize(false);
    draw->SetBounds(0, 0, 800, 600);
    draw->SetSurfaceWidth(800);
    draw->SetSurfaceHeight(600);
    draw->SetOptions(TDXDrawOptions{doFlip, doDirectX7Mode, doHardware});
    form->Perform(WM_ACTIVATE, WA_ACTIVE, 0);
    sound = new TDXSound(form.get());
    sound->Loaded();  // the sound is up before the archives load, as in the game
  }
  void TearDown() override {
    form.reset();
    DDSetVideoOutput(nullptr);
    UninstallHeadlessAudio();
    HeadlessUninstall();
    scope_.reset();
  }

  // The texts of the boxes shown since the last take.
  static std::vector<std::string> TakeBoxes() {
    std::vector<std::string> out;
    for (const auto& b : TakeRecordedMessageBoxes()) out.push_back(b.Text);
    return out;
  }

  std::unique_ptr<TApplicationScope> scope_;
  std::unique_ptr<TForm> form;
  TDXDraw* draw = nullptr;    // owned by the form
  TDXSound* sound = nullptr;  // owned by the form
};

TEST_F(HostileData, SmallFilesThatClaimHugePicturesAreRefusedBeforeAnythingIsAllocated) {
  struct Case {
    const char* what;
    std::function<Bytes()> file;
    // Loads the file the way the engine does; returns what came of it.
    enum { bitmap, archive } loader;
    std::string error;  // the message's start, or "" for a picture
    int64_t maxGrowth;
  };
  const Bytes body1G = DIBBody(32768, 32768, 8, 1, RLE8Runs());  // 1 GiB of pixels
  const Case cases[] = {
      {"run-length BMP of 1 GiB", [&] { return BMPFile(body1G); }, Case::bitmap,
       "DIB is invalid: 32768 x 32768 pixels of 8 bits are more than 67108864 bytes", 16 * MiB},
      {"run-length BMP of 4 bits, 2 GiB",
       [] { return BMPFile(DIBBody(65536, 65536, 4, 2, RLE4Runs())); }, Case::bitmap,
       "DIB is invalid: 65536 x 65536 pixels of 4 bits", 16 * MiB},
      {"uncompressed BMP header of 256 MiB without pixels",
       [] { return BMPFile(DIBBody(8192, 8192, 32, 0, {})); }, Case::bitmap,
       "DIB is invalid: 8192 x 8192 pixels of 32 bits", 16 * MiB},
      {"run-length BMP just inside: 64 MiB",
       [] { return BMPFile(DIBBody(8192, 8192, 8, 1, RLE8Runs())); }, Case::bitmap, "", 160 * MiB},
      {"JPEG claiming 65000 x 65000", [] { return JPEGClaiming(65000, 65000); }, Case::bitmap,
       "DIB is invalid: a JPEG picture of 65000 x 65000 pixels", 16 * MiB},
      {"archive: 8192 x 8192 cut into 1 x 1",
       [] { return ArchiveOf(DIBBody(8192, 8192, 8, 1, RLE8Runs()), 1, 1); }, Case::archive,
       "Invalid stream format: a picture of 8192 x 8192 cut into cells of 1 x 1 makes 67108864 "
       "patterns, more than 65536 in picture 'hostile'",
       16 * MiB},
      {"archive: 257 x 256 cut into 1 x 1, one row past the pattern bound",
       [] { return ArchiveOf(DIBBody(257, 256, 8, 1, RLE8Runs()), 1, 1); }, Case::archive,
       "Invalid stream format: a picture of 257 x 256 cut into cells of 1 x 1 makes 65792",
       16 * MiB},
      {"archive: 256 x 256 cut into 1 x 1, exactly the pattern bound",
       [] { return ArchiveOf(DIBBody(256, 256, 8, 1, RLE8Runs()), 1, 1); }, Case::archive, "",
       64 * MiB},
      {"archive: 8192 x 8192 uncut needs 64 Mi pixels of surface",
       [] { return ArchiveOf(DIBBody(8192, 8192, 8, 1, RLE8Runs()), 0, 0); }, Case::archive,
       "Invalid stream format: a picture of 8192 x 8192 needs surfaces of more than 33554432 "
       "pixels",
       16 * MiB},
      {"archive: 4096 x 4096 in 64 x 64 frames, inside both bounds",
       [] { return ArchiveOf(DIBBody(4096, 4096, 8, 1, RLE8Runs()), 64, 64); }, Case::archive, "",
       256 * MiB},
  };
  draw->Initialize();
  ASSERT_TRUE(draw->Initialized());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes file = c.file();
    EXPECT_LT(file.size(), 4096u) << "a small file";
    TPeakMemory peak;
    ASSERT_TRUE(peak.Available()) << "the kernel's peak-memory counter cannot be reset";
    std::string error;
    if (c.loader == Case::bitmap) {
      TDIB dib;
      TByteStream in(file.data(), file.size());
      try {
        dib.LoadFromStream(in);
        dib.GetPixel(0, 0);  // the first pixel expands packed data
        EXPECT_GT(dib.Width(), 0);
      } catch (const Exception& e) {
        error = e.Message();
        EXPECT_EQ(std::string(e.ClassName()), "EInvalidGraphic");
      }
    } else {
      TDXImageList list(nullptr);
      list.SetDXDraw(draw);
      TByteStream in(file.data(), file.size());
      list.Items().LoadFromStream(in);  // loads into an initialised list: cuts at once
      TPictureCollectionItem* item = list.Items().Find("hostile");
      // A lost display cuts again: the bound holds there too.
      DDLoseAllSurfaces();
      EXPECT_TRUE(draw->CanDraw());
      const std::vector<std::string> boxes = TakeBoxes();
      if (!boxes.empty()) {
        error = boxes[0];
        EXPECT_EQ(boxes.size(), 2u) << "reported once per cut";
        EXPECT_EQ(item->SurfaceCount(), 0);
      } else {
        EXPECT_GT(item->SurfaceCount(), 0);
        EXPECT_GT(item->GetPatternCount(), 0);
      }
      list.SetDXDraw(nullptr);
    }
    if (c.error.empty())
      EXPECT_EQ(error, "");
    else
      EXPECT_EQ(error.substr(0, c.error.size()), c.error);
    EXPECT_LT(peak.Growth(), c.maxGrowth)
        << "peak memory grew by " << peak.Growth() / MiB << " MiB";
  }
}

// ---- A damaged data folder ----------------------------------------------------------

std::string DataDir() {
  return std::string(TAL_BIN_DIR) + "/data";
}

constexpr const char* kArchives[] = {"data.dan",  "models.dan", "explosions.dan", "weapons.dan",
                                     "fx.dan",    "bg.dan",     "interface.dan",  "bonuses.dan",
                                     "video.dan", "info.dan"};
constexpr const char* kWaveArchives[] = {"snd.tor", "vc.tor"};

// Every name of every archive of the generated folder.
std::map<std::string, std::vector<std::string>> NamesOf(const fs::path& Dir) {
  std::map<std::string, std::vector<std::string>> names;
  for (const char* a : kArchives) {
    TPictureCollection list;
    list.LoadFromFile((Dir / "graphic" / a).string());
    for (int i = 0; i < list.Count(); ++i) names[a].push_back(list.Items(i)->Name());
  }
  for (const char* a : kWaveArchives) {
    TWaveCollection list(nullptr);
    list.LoadFromFile((Dir / "sound" / a).string());
    for (int i = 0; i < list.Count(); ++i) names[a].push_back(list.Items(i)->Name());
  }
  return names;
}

class DamagedDataFolder : public HostileData {
 protected:
  void SetUp() override {
    HostileData::SetUp();
    ASSERT_TRUE(fs::exists(DataDir() + "/graphic/data.dan")) << DataDir() << " holds no archives";
    dir = fs::temp_directory_path() /
          ("tal_damaged_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy(DataDir() + "/graphic", dir / "graphic", fs::copy_options::recursive);
    fs::copy(DataDir() + "/sound", dir / "sound", fs::copy_options::recursive);
    names = NamesOf(dir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
    HostileData::TearDown();
  }

  // Rewrites one picture of an archive as one the loader refuses to cut.
  void SpoilPicture(const std::string& Archive, const std::string& Name) {
    const std::string path = (dir / "graphic" / Archive).string();
    TPictureCollection list;
    list.LoadFromFile(path);
    TPictureCollectionItem* item = list.Find(Name);
    Bytes body = DIBBody(512, 512, 8, 1, RLE8Runs());
    auto dib = std::make_unique<TDIB>();
    TByteStream in(body.data(), body.size());
    dib->ReadData(in);
    item->Picture().TakeGraphic(std::move(dib));
    item->PatternWidth = 1;
    item->PatternHeight = 1;
    list.SaveToFile(path);
  }

  // Rewrites one wave of an archive as a wave of no channels.
  void SpoilWave(const std::string& Archive, const std::string& Name) {
    const std::string path = (dir / "sound" / Archive).string();
    TWaveCollection list(nullptr);
    list.LoadFromFile(path);
    TWave& wave = list.Find(Name)->Wave();
    WAVEFORMATEX f;
    std::memcpy(&f, wave.Format(), sizeof f < 16 ? sizeof f : 16);
    f.nChannels = 0;
    std::memcpy(wave.Format(), &f, 16);
    list.SaveToFile(path);
  }

  // Loads every archive into its own list, each on its own as the game's
  // form does; a failing archive is recorded by name.
  void LoadAll() {
    for (const char* a : kArchives) {
      auto* list = new TDXImageList(form.get());
      list->SetDXDraw(draw);
      pictures[a] = list;
      try {
        list->Items().LoadFromFile((dir / "graphic" / a).string());
      } catch (const Exception& e) {
        failed[a] = e.Message();
      }
    }
    for (const char* a : kWaveArchives) {
      auto* list = new TDXWaveList(form.get());
      list->SetDXSound(sound);
      waves[a] = list;
      try {
        list->Items().LoadFromFile((dir / "sound" / a).string());
      } catch (const Exception& e) {
        failed[a] = e.Message();
      }
    }
    // The display comes up after the archives are read, as the game's
    // window is shown after its form is made.
    draw->Initialize();
    ASSERT_TRUE(draw->Initialized());
  }

  // Every name but Except resolves, has surfaces or a buffer, and a
  // picture draws.
  void ExpectAllButOneWork(const std::string& ExceptArchive, const std::string& Except) {
    for (const auto& [archive, list] : names) {
      if (failed.count(archive)) continue;
      for (const std::string& name : list) {
        SCOPED_TRACE(archive + ": " + name);
        if (archive == ExceptArchive && name == Except) continue;
        if (pictures.count(archive)) {
          TPictureCollectionItem* item = pictures[archive]->Items().Find(name);
          EXPECT_GT(item->SurfaceCount(), 0);
          EXPECT_NE(item->GetPatternSurface(0), nullptr);
        } else {
          TWaveCollectionItem* item = waves[archive]->Items().Find(name);
          EXPECT_NE(item->Buffer(), nullptr);
        }
      }
    }
    // One of the last archive's pictures really reaches the back surface.
    TPictureCollectionItem* item = pictures["info.dan"]->Items().Items(0);
    TDirectDrawSurface* back = draw->Surface.get();
    back->Fill(0);
    item->StretchDraw(back, Bounds(0, 0, 64, 64), 0);
    bool drawn = false;
    for (int y = 0; y < 64 && !drawn; ++y)
      for (int x = 0; x < 64 && !drawn; ++x) drawn = back->Pixel(x, y) != 0;
    EXPECT_TRUE(drawn);
  }

  fs::path dir;
  std::map<std::string, std::vector<std::string>> names;
  std::map<std::string, TDXImageList*> pictures;  // owned by the form
  std::map<std::string, TDXWaveList*> waves;      // owned by the form
  std::map<std::string, std::string> failed;
};

TEST_F(DamagedDataFolder, OneBadPictureIsReportedAndEveryOtherPictureAndSoundWorks) {
  const std::string bad = names["bg.dan"].at(0);
  SpoilPicture("bg.dan", bad);
  LoadAll();
  EXPECT_TRUE(failed.empty());
  const std::vector<std::string> boxes = TakeBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("Invalid stream format"), std::string::npos) << boxes[0];
  EXPECT_NE(boxes[0].find("in picture '" + bad + "'"), std::string::npos) << boxes[0];
  EXPECT_NE(boxes[0].find("bg.dan"), std::string::npos) << boxes[0];
  EXPECT_EQ(pictures["bg.dan"]->Items().Find(bad)->SurfaceCount(), 0);
  ExpectAllButOneWork("bg.dan", bad);

  // After a lost display every list is cut again; the bad one is reported again.
  DDLoseAllSurfaces();
  EXPECT_TRUE(draw->CanDraw());
  EXPECT_EQ(TakeBoxes().size(), 1u);
  ExpectAllButOneWork("bg.dan", bad);
}

TEST_F(DamagedDataFolder, OneBadWaveIsReportedAndTheOtherWavesAndTheVoicesLoad) {
  const std::string bad = names["snd.tor"].at(0);
  SpoilWave("snd.tor", bad);
  LoadAll();
  EXPECT_TRUE(failed.empty());
  const std::vector<std::string> boxes = TakeBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Sound Buffer cannot be made in wave '" + bad + "' in ", 0), 0u)
      << boxes[0];
  EXPECT_NE(boxes[0].find("snd.tor"), std::string::npos) << boxes[0];
  // The refused wave is silent, not failing at every play.
  TWaveCollectionItem* item = waves["snd.tor"]->Items().Find(bad);
  EXPECT_EQ(item->Buffer(), nullptr);
  EXPECT_NO_THROW(item->Play(false));
  EXPECT_NO_THROW(item->SetVolume(-100));
  EXPECT_EQ(TakeBoxes(), std::vector<std::string>());
  ASSERT_FALSE(names["vc.tor"].empty());
  ExpectAllButOneWork("snd.tor", bad);
}

TEST_F(DamagedDataFolder, AMissingArchiveRaisesTheOpenErrorAndTheOthersLoad) {
  fs::remove(dir / "graphic" / "explosions.dan");
  LoadAll();
  ASSERT_EQ(failed.size(), 1u);
  ASSERT_TRUE(failed.count("explosions.dan"));
  EXPECT_NE(failed["explosions.dan"].find("explosions.dan"), std::string::npos)
      << failed["explosions.dan"];
  EXPECT_EQ(pictures["explosions.dan"]->Items().Count(), 0);
  EXPECT_EQ(TakeBoxes(), std::vector<std::string>());
  ExpectAllButOneWork("", "");
}

TEST_F(DamagedDataFolder, ADamagedArchiveNamesItsFileAndItemAndTheOthersLoad) {
  // Cut inside the last picture's or wave's data, as an interrupted copy
  // leaves a file.
  const auto cutShort = [&](const fs::path& File, const std::string& Property) {
    std::ifstream in(File, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = bytes.rfind(Property);
    ASSERT_NE(at, std::string::npos);
    fs::resize_file(File, at + Property.size() + 40);
  };
  cutShort(dir / "graphic" / "bg.dan", "Picture.Data");
  cutShort(dir / "sound" / "snd.tor", "Wave.WAVE");
  // And one that is no archive at all.
  std::ofstream(dir / "graphic" / "interface.dan", std::ios::binary) << "not an archive";
  LoadAll();
  ASSERT_EQ(failed.size(), 3u);
  EXPECT_EQ(failed["interface.dan"],
            "Invalid stream format in " + (dir / "graphic" / "interface.dan").string());
  const std::string lastPicture = names["bg.dan"].back(), lastWave = names["snd.tor"].back();
  EXPECT_EQ(failed["bg.dan"], "Stream read error in picture '" + lastPicture + "' in " +
                                  (dir / "graphic" / "bg.dan").string());
  EXPECT_EQ(failed["snd.tor"], "Stream read error in wave '" + lastWave + "' in " +
                                   (dir / "sound" / "snd.tor").string());
  // What was read before the cut stays, and every other archive loads.
  EXPECT_EQ(pictures["bg.dan"]->Items().Count(), static_cast<int>(names["bg.dan"].size()));
  EXPECT_GT(pictures["bg.dan"]->Items().Find(names["bg.dan"].front())->SurfaceCount(), 0);
  EXPECT_NE(waves["snd.tor"]->Items().Find(names["snd.tor"].front())->Buffer(), nullptr);
  ExpectAllButOneWork("", "");
}

}  // namespace
