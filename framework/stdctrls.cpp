#include "framework/stdctrls.h"

TEdit::TEdit(TComponent* AOwner) : TWinControl(AOwner) {}

void TEdit::SetText(const std::string& Value) {
  if (text_ == Value) return;
  text_ = Value;
  if (OnChange) OnChange(this);
}

bool TEdit::KeyPress(char& Key) {
  if (TWinControl::KeyPress(Key)) return true;
  auto c = static_cast<unsigned char>(Key);
  if (c == 8) {
    if (!text_.empty()) SetText(text_.substr(0, text_.size() - 1));
    return false;
  }
  if (c < 32 || c == 127) return false;
  if (max_length_ > 0 && static_cast<int>(text_.size()) >= max_length_) return false;
  SetText(text_ + Key);
  return false;
}

TMemo::TMemo(TComponent* AOwner) : TWinControl(AOwner) {}

std::string TMemo::Text() const {
  std::string out;
  for (const auto& l : Lines) {
    out += l;
    out += "\r\n";
  }
  return out;
}

void TMemo::SetText(const std::string& Value) {
  Lines.clear();
  std::string line;
  for (size_t i = 0; i < Value.size(); ++i) {
    char c = Value[i];
    if (c == '\r' || c == '\n') {
      Lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < Value.size() && Value[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) Lines.push_back(line);
}

void TMemo::SaveToFile(const std::string& FileName) const {
  std::string text = Text();
  TFileStream f(FileName, fmCreate);
  f.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}
