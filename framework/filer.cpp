#include "framework/filer.h"

#include <array>

namespace {

// Collections inside collections recurse; a hostile stream must not be able
// to run the stack out.
constexpr int kMaxDepth = 32;

[[noreturn]] void ReadFault() {
  Raise<EReadError>("Stream read error");
}
[[noreturn]] void BadValue() {
  Raise<EReadError>("Invalid property value");
}

bool KnownType(uint8_t t) {
  switch (t) {
    case vaNull:
    case vaList:
    case vaInt8:
    case vaInt16:
    case vaInt32:
    case vaString:
    case vaIdent:
    case vaFalse:
    case vaTrue:
    case vaBinary:
    case vaLString:
    case vaCollection:
    case vaWString:
    case vaUTF8String:
      return true;
    default:
      return false;
  }
}

bool IsPlain(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

}  // namespace

// ---- Reader ----------------------------------------------------------------

uint8_t TReader::ReadByte() {
  uint8_t b;
  if (stream_.Read(&b, 1) != 1) ReadFault();
  return b;
}

void TReader::ReadBytes(void* Buffer, int64_t Count) {
  if (Count < 0 || Count > stream_.Remaining()) ReadFault();
  stream_.ReadBuffer(Buffer, Count);
}

void TReader::SkipBytes(int64_t Count) {
  if (Count < 0 || Count > stream_.Remaining()) ReadFault();
  stream_.Seek(Count, soCurrent);
}

uint32_t TReader::ReadLength() {
  uint32_t n;
  ReadBytes(&n, 4);
  if (static_cast<int64_t>(n) > stream_.Remaining()) ReadFault();
  return n;
}

void TReader::CheckType(uint8_t Type) {
  if (!KnownType(Type)) Raise<EReadError>("Invalid value type %d", static_cast<int>(Type));
}

TValueType TReader::ReadValue() {
  uint8_t t = ReadByte();
  CheckType(t);
  return static_cast<TValueType>(t);
}

TValueType TReader::NextValue() {
  TValueType t = ReadValue();
  stream_.Seek(-1, soCurrent);
  return t;
}

bool TReader::EndOfList() {
  uint8_t b = ReadByte();
  stream_.Seek(-1, soCurrent);
  return b == vaNull;
}

void TReader::Expect(TValueType Type) {
  if (ReadValue() != Type) BadValue();
}

void TReader::ReadListBegin() {
  Expect(vaList);
}
void TReader::ReadListEnd() {
  Expect(vaNull);
}

void TReader::ReadSignature() {
  char sig[4];
  if (stream_.Read(sig, 4) != 4 || sig[0] != 'T' || sig[1] != 'P' || sig[2] != 'F' || sig[3] != '0')
    Raise<EReadError>("Invalid stream format");
}

std::string TReader::ReadStr() {
  uint8_t n = ReadByte();
  std::string s(n, '\0');
  ReadBytes(s.data(), n);
  return s;
}

int32_t TReader::ReadInteger() {
  switch (ReadValue()) {
    case vaInt8: {
      int8_t v;
      ReadBytes(&v, 1);
      return v;
    }
    case vaInt16: {
      int16_t v;
      ReadBytes(&v, 2);
      return v;
    }
    case vaInt32: {
      int32_t v;
      ReadBytes(&v, 4);
      return v;
    }
    default:
      BadValue();
  }
}

bool TReader::ReadBoolean() {
  switch (ReadValue()) {
    case vaFalse:
      return false;
    case vaTrue:
      return true;
    default:
      BadValue();
  }
}

std::string TReader::ReadString() {
  switch (ReadValue()) {
    case vaString:
      return ReadStr();
    case vaLString: {
      uint32_t n = ReadLength();
      std::string s(n, '\0');
      ReadBytes(s.data(), n);
      return s;
    }
    case vaUTF8String: {
      uint32_t n = ReadLength();
      std::string s(n, '\0');
      ReadBytes(s.data(), n);
      return Utf8ToAnsi(s);
    }
    case vaWString: {
      uint32_t n;
      ReadBytes(&n, 4);
      if (static_cast<int64_t>(n) * 2 > stream_.Remaining()) ReadFault();
      std::u16string w(n, u'\0');
      ReadBytes(w.data(), static_cast<int64_t>(n) * 2);
      return WideToAnsi(w);
    }
    default:
      BadValue();
  }
}

std::string TReader::ReadIdent() {
  Expect(vaIdent);
  return ReadStr();
}

std::vector<uint8_t> TReader::ReadBinary() {
  Expect(vaBinary);
  uint32_t n = ReadLength();
  std::vector<uint8_t> bytes(n);
  ReadBytes(bytes.data(), n);
  return bytes;
}

namespace {
struct TDepthGuard {
  explicit TDepthGuard(int& d) : depth(d) {
    if (++depth > kMaxDepth) {
      --depth;
      Raise<EReadError>("Invalid stream format");
    }
  }
  ~TDepthGuard() { --depth; }
  int& depth;
};
}  // namespace

void TReader::ReadCollection(TCollection& Collection) {
  TDepthGuard guard(depth_);
  Expect(vaCollection);
  if (!EndOfList()) Collection.Clear();
  while (!EndOfList()) {
    TValueType t = NextValue();
    if (t == vaInt8 || t == vaInt16 || t == vaInt32) ReadInteger();  // order value, unused
    ReadListBegin();
    TCollectionItem* item = Collection.Add();
    ReadProperties(*item);
  }
  ReadListEnd();
}

void TReader::SkipValue() {
  TDepthGuard guard(depth_);
  switch (ReadValue()) {
    case vaNull:
    case vaFalse:
    case vaTrue:
      break;
    case vaList:
      while (!EndOfList()) SkipValue();
      ReadListEnd();
      break;
    case vaInt8:
      SkipBytes(1);
      break;
    case vaInt16:
      SkipBytes(2);
      break;
    case vaInt32:
      SkipBytes(4);
      break;
    case vaString:
    case vaIdent:
      SkipBytes(ReadByte());
      break;
    case vaBinary:
    case vaLString:
    case vaUTF8String:
      SkipBytes(ReadLength());
      break;
    case vaWString: {
      uint32_t n;
      ReadBytes(&n, 4);
      SkipBytes(static_cast<int64_t>(n) * 2);
      break;
    }
    case vaCollection:
      while (!EndOfList()) {
        TValueType t = NextValue();
        if (t == vaInt8 || t == vaInt16 || t == vaInt32) SkipValue();
        ReadListBegin();
        while (!EndOfList()) {
          ReadStr();
          SkipValue();
        }
        ReadListEnd();
      }
      ReadListEnd();
      break;
    default:
      BadValue();
  }
}

void TReader::ReadProperties(TPersistent& Instance) {
  while (!EndOfList()) {
    std::string name = ReadStr();
    int64_t before = stream_.Position();
    if (!Instance.ReadProperty(name, *this)) Raise<EReadError>("Property %s does not exist", name);
    // A handler that takes a property but ignores its value must not leave
    // the value to be misread as the next property name.
    if (stream_.Position() == before) SkipValue();
  }
  ReadListEnd();
}

void TReader::ReadRootComponent(TComponent& Root) {
  uint8_t prefix = ReadByte();
  if ((prefix & 0xF0) == 0xF0) {
    if (prefix & 0x02) ReadInteger();  // child position, meaningless for a root
  } else {
    stream_.Seek(-1, soCurrent);
  }
  ReadStr();  // class name: the caller chose the root's class
  std::string name = ReadStr();
  Root.SetName(name);
  Root.BeginLoading();
  try {
    ReadProperties(Root);
    if (!EndOfList()) {
      uint8_t b = ReadByte();
      if ((b & 0xF0) != 0xF0) stream_.Seek(-1, soCurrent);
      Raise<EClassNotFound>("Class %s not found", ReadStr());
    }
    ReadListEnd();
  } catch (...) {
    Root.SetState(csLoading, false);
    Root.SetState(csReading, false);
    throw;
  }
  Root.EndLoading();
}

// ---- Writer ----------------------------------------------------------------

void TWriter::WriteSignature() {
  stream_.WriteBuffer("TPF0", 4);
}

void TWriter::WriteValue(TValueType Type) {
  WriteByte(Type);
}

void TWriter::WriteStr(const std::string& Value) {
  size_t n = Value.size() > 255 ? 255 : Value.size();
  WriteByte(static_cast<uint8_t>(n));
  stream_.WriteBuffer(Value.data(), static_cast<int64_t>(n));
}

void TWriter::WritePropName(const std::string& Name) {
  WriteStr(Name);
}

void TWriter::WriteInteger(int32_t Value) {
  if (Value >= -128 && Value <= 127) {
    WriteValue(vaInt8);
    stream_.WriteValue(static_cast<int8_t>(Value));
  } else if (Value >= -32768 && Value <= 32767) {
    WriteValue(vaInt16);
    stream_.WriteValue(static_cast<int16_t>(Value));
  } else {
    WriteValue(vaInt32);
    stream_.WriteValue(Value);
  }
}

void TWriter::WriteBoolean(bool Value) {
  WriteValue(Value ? vaTrue : vaFalse);
}

void TWriter::WriteString(const std::string& Value) {
  if (IsPlain(Value)) {
    if (Value.size() <= 255) {
      WriteValue(vaString);
      WriteStr(Value);
      return;
    }
    WriteValue(vaLString);
    stream_.WriteValue(static_cast<uint32_t>(Value.size()));
    stream_.WriteBuffer(Value.data(), static_cast<int64_t>(Value.size()));
    return;
  }
  std::string u = AnsiToUtf8(Value);
  WriteValue(vaUTF8String);
  stream_.WriteValue(static_cast<uint32_t>(u.size()));
  stream_.WriteBuffer(u.data(), static_cast<int64_t>(u.size()));
}

void TWriter::WriteIdent(const std::string& Value) {
  WriteValue(vaIdent);
  WriteStr(Value);
}

void TWriter::WriteBinaryValue(const void* Data, size_t Size) {
  WriteValue(vaBinary);
  stream_.WriteValue(static_cast<uint32_t>(Size));
  stream_.WriteBuffer(Data, static_cast<int64_t>(Size));
}

void TWriter::WriteInteger(const std::string& Name, int32_t Value) {
  WritePropName(Name);
  WriteInteger(Value);
}

void TWriter::WriteBoolean(const std::string& Name, bool Value) {
  WritePropName(Name);
  WriteBoolean(Value);
}

void TWriter::WriteString(const std::string& Name, const std::string& Value) {
  WritePropName(Name);
  WriteString(Value);
}

void TWriter::WriteIdent(const std::string& Name, const std::string& Value) {
  WritePropName(Name);
  WriteIdent(Value);
}

void TWriter::WriteBinary(const std::string& Name, const void* Data, size_t Size) {
  WritePropName(Name);
  WriteBinaryValue(Data, Size);
}

void TWriter::WriteBinary(const std::string& Name, const std::function<void(TStream&)>& Writer) {
  TMemoryStream m;
  Writer(m);
  WriteBinary(Name, m.Bytes());
}

void TWriter::WriteCollection(const std::string& Name, const TCollection& Collection) {
  WritePropName(Name);
  WriteValue(vaCollection);
  for (int i = 0; i < Collection.Count(); ++i) {
    WriteListBegin();
    Collection.Items(i)->WriteProperties(*this);
    WriteListEnd();
  }
  WriteListEnd();
}

void TWriter::WriteRootComponent(const TComponent& Root) {
  WriteStr(Root.ClassName());
  WriteStr(Root.Name());
  Root.WriteProperties(*this);
  WriteListEnd();  // properties
  WriteListEnd();  // children: none
}

// ---- Whole streams ---------------------------------------------------------

void ReadResHeader(TStream& Stream) {
  uint8_t b;
  uint16_t type;
  if (Stream.Read(&b, 1) != 1 || b != 0xFF) Raise<EInvalidImage>("Invalid stream format");
  if (Stream.Read(&type, 2) != 2 || type != 10) Raise<EInvalidImage>("Invalid stream format");
  do {
    Stream.ReadBuffer(&b, 1);
  } while (b != 0);
  uint16_t flags;
  uint32_t size;
  Stream.ReadBuffer(&flags, 2);
  Stream.ReadBuffer(&size, 4);
}

int64_t BeginResHeader(TStream& Stream, const std::string& ResName) {
  std::string name = UpperCase(ResName.substr(0, 63));
  uint8_t ff = 0xFF;
  Stream.WriteBuffer(&ff, 1);
  Stream.WriteValue(static_cast<uint16_t>(10));
  Stream.WriteBuffer(name.c_str(), static_cast<int64_t>(name.size()) + 1);
  Stream.WriteValue(static_cast<uint16_t>(0x1030));
  int64_t pos = Stream.Position();
  Stream.WriteValue(static_cast<uint32_t>(0));
  return pos;
}

void EndResHeader(TStream& Stream, int64_t SizePos) {
  int64_t end = Stream.Position();
  Stream.SetPosition(SizePos);
  Stream.WriteValue(static_cast<uint32_t>(end - SizePos - 4));
  Stream.SetPosition(end);
}

void ReadComponent(TStream& Stream, TComponent& Root) {
  TReader reader(Stream);
  reader.ReadSignature();
  reader.ReadRootComponent(Root);
}

void WriteComponent(TStream& Stream, const TComponent& Root) {
  TWriter writer(Stream);
  writer.WriteSignature();
  writer.WriteRootComponent(Root);
}

void ReadComponentResource(TStream& Stream, TComponent& Root) {
  ReadResHeader(Stream);
  ReadComponent(Stream, Root);
}

void WriteComponentResource(TStream& Stream, const std::string& ResName, const TComponent& Root) {
  int64_t sizePos = BeginResHeader(Stream, ResName);
  WriteComponent(Stream, Root);
  EndResHeader(Stream, sizePos);
}
