#include "platform/win/library.h"

#include <gtest/gtest.h>

namespace {

int Twice(int v) {
  return 2 * v;
}

TEST(Libraries, BuiltinModulesByNameInAnyLetterCase) {
  RegisterBuiltinModule("Fake.dll", {{"Twice", reinterpret_cast<FARPROC>(&Twice)}});
  HMODULE m = LoadLibraryA("FAKE.DLL");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(ProcAs<int (*)(int)>(GetProcAddress(m, "Twice"))(21), 42);
  // Entry names are exact.
  EXPECT_EQ(GetProcAddress(m, "twice"), nullptr);
  // Removed from the registry: new loads fail, the handle out keeps working.
  UnregisterBuiltinModule("fake.dll");
  EXPECT_EQ(LoadLibraryA("Fake.dll"), nullptr);
  EXPECT_NE(GetProcAddress(m, "Twice"), nullptr);
  EXPECT_TRUE(FreeLibrary(m));
  EXPECT_FALSE(FreeLibrary(m));
  EXPECT_EQ(GetProcAddress(m, "Twice"), nullptr);
}

TEST(Libraries, OtherNamesAreSharedLibrariesInTheProgramFolder) {
  SetProgramFolder("/opt/tal");
  struct {
    const char* name;
    const char* path;
  } cases[] = {
      {"bass.dll", "/opt/tal/libbass.so"},
      {"BASSWMA.DLL", "/opt/tal/libbasswma.so"},
      {"Plugins\\in_mp3.dll", "Plugins/libin_mp3.so"},
      {"/usr/lib/libz.so.1", "/usr/lib/libz.so.1"},
  };
  for (const auto& c : cases) EXPECT_EQ(SharedLibraryPath(c.name), c.path) << c.name;
  EXPECT_EQ(LoadLibraryA("missing.dll"), nullptr);
  SetProgramFolder("");
  EXPECT_NE(ProgramFolder(), "/opt/tal/");
}

}  // namespace
