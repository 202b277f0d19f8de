// Component streams: the one reader and the one writer of the "TPF0" format
// and of the resource header that archives put in front of it.
//
// How a class streams its properties:
//
//   class TThing : public TPersistent {
//    public:
//     bool ReadProperty(const std::string& Name, TReader& Reader) override {
//       if (Name == "Caption") { Caption = Reader.ReadString(); return true; }
//       if (Name == "Count")   { Count = Reader.ReadInteger(); return true; }
//       if (Name == "Data") {                       // a binary property
//         std::vector<uint8_t> bytes = Reader.ReadBinary();
//         TByteStream s(bytes.data(), bytes.size());
//         LoadFromStream(s);
//         return true;
//       }
//       if (Name == "Items") { Reader.ReadCollection(Items); return true; }
//       if (Name == "Font.Size") { FontSize = Reader.ReadInteger(); return true; }
//       return TPersistent::ReadProperty(Name, Reader);   // false: unknown
//     }
//     void WriteProperties(TWriter& Writer) const override {
//       Writer.WriteString("Caption", Caption);
//       Writer.WriteInteger("Count", Count);
//       Writer.WriteBinary("Data", [&](TStream& s) { SaveToStream(s); });
//       Writer.WriteCollection("Items", Items);
//       Writer.WriteInteger("Font.Size", FontSize);
//     }
//   };
//
// Collection items take part the same way: ReadCollection empties the
// collection, calls Add() once per stored item and hands each property to
// that item's ReadProperty; WriteCollection calls each item's
// WriteProperties. A sub-object property ("Font.Size", "List.ColorTable")
// reaches the root's ReadProperty under its full dotted name.
//
// A whole archive is ReadComponentResource / WriteComponentResource; the bare
// component stream (no resource header) is ReadComponent / WriteComponent.
//
// Every length in the stream is checked against the bytes left before
// anything is allocated or read, so hostile input ends in an exception:
//   EInvalidImage "Invalid stream format"  bad resource header
//   EReadError    "Invalid stream format"  no "TPF0" signature
//   EReadError    "Stream read error"      a length beyond the end of input
//   EReadError    "Property %s does not exist"
//   EReadError    "Invalid property value" a value of the wrong type
//   EReadError    "Invalid value type %d"  a type byte the format lacks
//   EClassNotFound "Class %s not found"    a child component in the stream
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/classes.h"
#include "platform/win/codepage.h"

enum TValueType : uint8_t {
  vaNull = 0,
  vaList = 1,
  vaInt8 = 2,
  vaInt16 = 3,
  vaInt32 = 4,
  vaExtended = 5,
  vaString = 6,
  vaIdent = 7,
  vaFalse = 8,
  vaTrue = 9,
  vaBinary = 10,
  vaSet = 11,
  vaLString = 12,
  vaNil = 13,
  vaCollection = 14,
  vaSingle = 15,
  vaCurrency = 16,
  vaDate = 17,
  vaWString = 18,
  vaInt64 = 19,
  vaUTF8String = 20,
};

class TReader {
 public:
  explicit TReader(TStream& Stream) : stream_(Stream) {}
  TReader(const TReader&) = delete;
  TReader& operator=(const TReader&) = delete;

  TStream& Stream() { return stream_; }

  // "TPF0", else EReadError "Invalid stream format".
  void ReadSignature();
  // Reads the root's header, its properties and its (empty) child list.
  void ReadRootComponent(TComponent& Root);
  // Hands each property up to the end-of-list byte to Instance.ReadProperty.
  void ReadProperties(TPersistent& Instance);

  // The type byte of the next value, without consuming it.
  TValueType NextValue();
  TValueType ReadValue();
  // True (without consuming) when the next byte ends a list.
  bool EndOfList();
  void ReadListBegin();
  void ReadListEnd();

  // Typed values: each checks the type byte and raises "Invalid property
  // value" for another one.
  int32_t ReadInteger();
  bool ReadBoolean();
  // Types 6, 12, 18 and 20; wide and UTF-8 text become 8-bit text.
  std::string ReadString();
  // Type 7 (a named constant such as a colour name).
  std::string ReadIdent();
  // Type 10: the block's bytes.
  std::vector<uint8_t> ReadBinary();
  // Type 14: empties Collection (unless the stream holds no item) and adds
  // one item per entry.
  void ReadCollection(TCollection& Collection);
  // Skips any value of a known type.
  void SkipValue();

  // A short string without a type byte (names).
  std::string ReadStr();

 private:
  uint8_t ReadByte();
  uint32_t ReadLength();  // a 32-bit length checked against the bytes left
  void ReadBytes(void* Buffer, int64_t Count);
  void SkipBytes(int64_t Count);
  void Expect(TValueType Type);
  void CheckType(uint8_t Type);

  TStream& stream_;
  int depth_ = 0;
};

class TWriter {
 public:
  explicit TWriter(TStream& Stream) : stream_(Stream) {}
  TWriter(const TWriter&) = delete;
  TWriter& operator=(const TWriter&) = delete;

  TStream& Stream() { return stream_; }

  void WriteSignature();
  // Root header ("TPF0" excluded), properties and the empty child list.
  void WriteRootComponent(const TComponent& Root);

  // Named properties.
  void WriteInteger(const std::string& Name, int32_t Value);
  void WriteBoolean(const std::string& Name, bool Value);
  void WriteString(const std::string& Name, const std::string& Value);
  void WriteIdent(const std::string& Name, const std::string& Value);
  void WriteBinary(const std::string& Name, const void* Data, size_t Size);
  void WriteBinary(const std::string& Name, const std::vector<uint8_t>& Data) {
    WriteBinary(Name, Data.data(), Data.size());
  }
  // The writer fills a memory stream; its bytes become the value.
  void WriteBinary(const std::string& Name, const std::function<void(TStream&)>& Writer);
  void WriteCollection(const std::string& Name, const TCollection& Collection);

  // Bare values, for writers that compose their own lists.
  void WritePropName(const std::string& Name);
  void WriteInteger(int32_t Value);
  void WriteBoolean(bool Value);
  void WriteString(const std::string& Value);
  void WriteIdent(const std::string& Value);
  void WriteBinaryValue(const void* Data, size_t Size);
  void WriteValue(TValueType Type);
  void WriteListBegin() { WriteValue(vaList); }
  void WriteListEnd() { WriteValue(vaNull); }
  // A short string without a type byte (cut to 255 bytes).
  void WriteStr(const std::string& Value);

 private:
  void WriteByte(uint8_t b) { stream_.WriteBuffer(&b, 1); }
  TStream& stream_;
};

// Resource header in front of an archive's component stream.
// Reading: 0xFF, type 10, a zero-ended name, flags, size; a wrong first byte
// or type raises EInvalidImage "Invalid stream format".
void ReadResHeader(TStream& Stream);
// Writing: the name cut to 63 characters and upper-cased, flags 0x1030, and
// a size field to be filled in by EndResHeader.
int64_t BeginResHeader(TStream& Stream, const std::string& ResName);
void EndResHeader(TStream& Stream, int64_t SizePos);

// A bare component stream: "TPF0", the root and its properties.
void ReadComponent(TStream& Stream, TComponent& Root);
void WriteComponent(TStream& Stream, const TComponent& Root);
// The same behind the resource header: a whole archive.
void ReadComponentResource(TStream& Stream, TComponent& Root);
void WriteComponentResource(TStream& Stream, const std::string& ResName, const TComponent& Root);

// The 8-bit text of the user's code page (1251) to and from UTF-8 and UTF-16:
// Utf8ToAnsi, AnsiToUtf8 and WideToAnsi of platform/win/codepage.h.
