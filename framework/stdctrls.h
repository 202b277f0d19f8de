// The standard text controls the game's form holds: a one-line edit field
// that takes typed text, and a memo of lines.
#pragma once

#include <string>
#include <vector>

#include "framework/controls.h"

// A one-line edit field. Typing appends at the end and Backspace removes the
// last character; control characters are not taken into the text.
class TEdit : public TWinControl {
 public:
  TAL_CLASS_NAME(TEdit)
  explicit TEdit(TComponent* AOwner);
  const std::string& Text() const { return text_; }
  void SetText(const std::string& Value);
  // The most characters typing may enter (0: no limit). Text set by the
  // program is not cut.
  int MaxLength() const { return max_length_; }
  void SetMaxLength(int Value) { max_length_ = Value < 0 ? 0 : Value; }
  void Clear() { SetText(""); }

  TNotifyEvent OnChange;

 protected:
  bool KeyPress(char& Key) override;

 private:
  std::string text_;
  int max_length_ = 0;
};

// Lines of text.
class TMemo : public TWinControl {
 public:
  TAL_CLASS_NAME(TMemo)
  explicit TMemo(TComponent* AOwner);
  std::vector<std::string> Lines;
  bool WordWrap = true;
  // The lines joined by CR LF; setting splits at CR LF, LF or CR.
  std::string Text() const;
  void SetText(const std::string& Value);
  // Writes the lines, each ended by CR LF. Raises EFCreateError when the
  // file cannot be made.
  void SaveToFile(const std::string& FileName) const;
};
