#include "platform/win/files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/win/library.h"

namespace {

namespace fs = std::filesystem;

TEST(Files, PathsFoldersAndTheProgramsOwnName) {
  const struct {
    const char* Name;
    const char* Path;
  } paths[] = {{"C:\\game\\data\\x.dan", "C:\\game\\data\\"},
               {"/opt/tal/game.INI", "/opt/tal/"},
               {"graphic/data.dan", "graphic/"},
               {"C:game.ini", "C:"},
               {"game.INI", ""}};
  for (const auto& p : paths) EXPECT_EQ(ExtractFilePath(p.Name), p.Path) << p.Name;

  const fs::path dir = fs::temp_directory_path() / ("tal_files_" + std::to_string(::getpid()));
  fs::create_directories(dir / "data");
  const std::string before = GetCurrentDir();
  SetProgramFolder(dir.string());
  // The program's own file moves with its folder.
  EXPECT_EQ(ExtractFilePath(ProgramFileName()), dir.string() + "/");
  EXPECT_TRUE(SetCurrentDir(ProgramFolder() + "data"));
  EXPECT_EQ(GetCurrentDir(), (dir / "data").string());
  EXPECT_FALSE(SetCurrentDir(ProgramFolder() + "none"));
  EXPECT_EQ(GetCurrentDir(), (dir / "data").string());
  EXPECT_TRUE(DirectoryExists(ProgramFolder() + "data"));
  EXPECT_FALSE(FileIsRegular(ProgramFolder() + "data"));

  std::string text;
  EXPECT_FALSE(ReadFileText("x.txt", text));
  EXPECT_TRUE(ReplaceFileText("x.txt", "one\r\n"));
  EXPECT_TRUE(ReplaceFileText("x.txt", "two"));
  EXPECT_TRUE(ReadFileText("x.txt", text));
  EXPECT_EQ(text, "two");
  EXPECT_FALSE(ReadFileText(".", text));    // a folder is not a file
  EXPECT_FALSE(ReplaceFileText(".", "x"));  // nor can one be replaced by a file
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "data"), fs::directory_iterator()), 1);

  ASSERT_TRUE(SetCurrentDir(before));
  SetProgramFolder("");
  fs::remove_all(dir);
}

}  // namespace
