// XFileTokenizer: the token stream of an X file in any of its four encodings: text ("txt "),
// binary ("bin ") and their deflate-compressed forms ("tzip", "bzip": MSZIP blocks that use the
// previous block as history). Both encodings come out as the same tokens, so the parser above
// does not know which one it reads.
// Bounds-safe: every read checks what remains; the first error is sticky (all later calls
// fail) and nothing is allocated beyond what the bytes can hold. A compressed body may inflate
// to at most kMaxBodyBytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class XFileTokenizer {
 public:
  enum class Token {
    End,     // no more input
    Name,    // identifier; the binary "template" keyword comes back as Name "template"
    String,  // quoted string (text) or string token (binary)
    OpenBrace,
    CloseBrace,
    Guid,
    Data,   // numbers (text: a word starting like a number; binary: a number list)
    Other,  // template-only keywords and punctuation of the binary encoding
    Error,
  };

  static constexpr size_t kMaxBodyBytes = size_t(256) << 20;

  // Checks the 16-byte header ("xof ", version digits, encoding, float size 0032 or 0064) and
  // inflates compressed bodies. False for a bad header or corrupt or oversized compressed data.
  // file must outlive the tokenizer unless it was compressed (the body is then owned here).
  bool open(std::span<const uint8_t> file);

  // Next token, ';' and ',' skipped. For Name, String and (text) Data, text receives the
  // characters when it is not null. Unread numbers of a pending binary list are dropped and
  // returned as one Data token.
  Token next(std::string* text = nullptr);
  // Consumes a GUID if one comes next (object headers may carry one); never fails.
  void skipGuid();
  // One number of the data member now due, separators skipped. False (and the sticky error)
  // when the next thing is not a number of that kind or does not fit: negative or over 32 bits
  // for readUInt, outside float range for readFloat.
  bool readUInt(uint32_t& value);
  bool readFloat(float& value);
  // A string data member; text escapes \\ and \" are resolved.
  bool readString(std::string& value);
  // Skips to the brace closing the object just opened, nested objects included.
  bool skipToClose();

  bool failed() const { return error; }
  // Bytes not yet read: an upper bound for the count of any value still to come.
  size_t remaining() const { return body.size() - cursor; }

 private:
  enum class ListKind { None, Integers, Floats };

  // Sets the sticky error; returns false.
  bool fail();
  bool inflateBody(std::span<const uint8_t> compressed);
  // Text encoding: blanks and // or # comments; a word after any separators.
  void skipBlanks();
  bool readWord(std::string_view& word);
  Token nextText(std::string* text);
  bool readTextString(std::string& value);
  // Binary encoding: a list announces count values that the read* calls then take one by one.
  Token nextBinary(std::string* text);
  // Skips the values left in the list in progress: one Data token.
  Token dropList();
  bool startList(ListKind kind);

  std::span<const uint8_t> body;
  std::vector<uint8_t> inflated;
  size_t cursor = 0;
  bool binary = false;
  bool error = false;
  size_t floatBytes = 4;
  ListKind listKind = ListKind::None;
  uint32_t listLeft = 0;
};
