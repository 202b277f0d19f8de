// Loading many named items (pictures, waves) where one bad item must not
// hide the others: each failure names its place and is shown to the user
// through the application, and the loading carries on.
#pragma once

#include <string>

#include "framework/forms.h"
#include "framework/sysutils.h"

// Appends " in Where" to the message, so that "Stream read error" says
// which picture of which file it was.
inline void AddFailurePlace(Exception& E, const std::string& Where) {
  if (!Where.empty()) E.SetMessage(E.Message() + " in " + Where);
}

// Calls Step(i) for i in [0, Count). A step that raises has its place added
// (Place(i), then Source) and is reported through Application; the next
// step still runs.
template <class F, class P>
void ForEachReported(int Count, const std::string& Source, P&& Place, F&& Step) {
  for (int i = 0; i < Count; ++i) {
    try {
      try {
        Step(i);
      } catch (Exception& e) {
        AddFailurePlace(e, Place(i));
        AddFailurePlace(e, Source);
        throw;
      }
    } catch (...) {
      Application->HandleException(nullptr);
    }
  }
}
