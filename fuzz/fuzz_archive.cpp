// Picture archives from untrusted bytes: reading must end in a result or in
// one of the framework's exceptions, and whatever was read must write back
// and read again to the same bytes.
#include <cstdint>
#include <cstdlib>

#include "engine/dib/dib.h"
#include "engine/draw/pictures.h"
#include "framework/classes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static bool registered = [] {
    RegisterDIBGraphicClass();
    return true;
  }();
  (void)registered;

  TPictureCollection list;
  TByteStream in(Data, Size);
  try {
    list.LoadFromStream(in);
  } catch (const Exception&) {
    return 0;
  }
  for (int i = 0; i < list.Count(); ++i) list.Items(i)->GetPatternCount();
  list.MakeColorTable();

  TMemoryStream first;
  list.SaveToStream(first);
  TPictureCollection again;
  first.SetPosition(0);
  again.LoadFromStream(first);
  TMemoryStream second;
  again.SaveToStream(second);
  if (first.Bytes() != second.Bytes()) std::abort();
  return 0;
}
