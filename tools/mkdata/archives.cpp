#include "tools/mkdata/archives.h"

#include <filesystem>

#include "engine/dib/dib.h"
#include "engine/draw/pictures.h"
#include "tools/mkdata/painter.h"
#include "tools/mkdata/picture_table.h"

void BuildPictureArchive(const std::string& Archive, TPictureCollection& Collection) {
  Collection.Clear();
  // The archive's stored colour table is the palette every picture uses.
  Collection.ColorTable = PainterPalette();
  for (const TPictureSpec& spec : PictureTable()) {
    if (spec.Archive != Archive) continue;
    TPictureCollectionItem* item = Collection.Add();
    item->SetName(spec.Name);
    item->PatternWidth = spec.Width;
    item->PatternHeight = spec.Height;
    item->Transparent = spec.Transparent;
    item->SetTransparentColor(clBlack);
    item->Picture().TakeGraphic(PaintPicture(spec));
  }
}

void WritePictureArchives(const std::string& DataDir) {
  std::filesystem::path dir = std::filesystem::path(DataDir) / "graphic";
  std::filesystem::create_directories(dir);
  for (const std::string& archive : ArchiveNames()) {
    TPictureCollection collection;
    BuildPictureArchive(archive, collection);
    // Written beside the final name first, so an interrupted run never
    // leaves a cut archive that looks complete.
    std::filesystem::path target = dir / archive;
    std::filesystem::path partial = dir / (archive + ".part");
    collection.SaveToFile(partial.string());
    std::filesystem::rename(partial, target);
  }
}
