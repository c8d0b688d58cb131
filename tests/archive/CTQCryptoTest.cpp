#include "archive/CTQCrypto.h"

#include "tests/support/CaptureLog.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Every byte value, twice, so that the key wraps many times over the data.
Bytes everyByteValue() {
  Bytes bytes;
  for (int round = 0; round < 2; ++round) {
    for (int v = 0; v < 256; ++v) bytes.push_back(uint8_t(round ? 255 - v : v));
  }
  return bytes;
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Byte i of the scrambled form is plain[i] + key[i % length], modulo 256.
void expectScrambledWith(const Bytes& scrambled, const Bytes& plain, const std::string& key) {
  ASSERT_EQ(scrambled.size(), plain.size());
  for (size_t i = 0; i < plain.size(); ++i) {
    ASSERT_EQ(scrambled[i], uint8_t(plain[i] + uint8_t(key[i % key.size()]))) << "byte " << i;
  }
}

Bytes readAll(CTQCrypto& crypto, size_t chunk) {
  Bytes out;
  Bytes buffer(chunk);
  while (size_t got = crypto.read(buffer.data(), chunk)) {
    out.insert(out.end(), buffer.begin(), buffer.begin() + got);
  }
  return out;
}

TEST(CTQCrypto, DerivedKeysArePinned) {
  // Containers and archives already written depend on these: the table must never change.
  const struct {
    uint8_t seed;
    const char* key;
  } cases[] = {
      {0, "182-232-130-231-8-192-56-237"},
      {1, "13-120-82-135-247-7-9-19"},
      {7, "87-184-24-71-251-79-186-42"},
      {128, "96-210-170-61-227-187-103-208"},
      {254, "168-103-208-31-147-44-238-102"},
      {255, "182-232-130-231-8-192-56-237"},  // seed modulo 255: the same as seed 0
  };
  CTQCrypto crypto;
  for (const auto& c : cases) EXPECT_EQ(crypto.makeKey(c.seed), c.key) << int(c.seed);
  for (int seed = 0; seed < 256; ++seed) {
    const std::string key = crypto.makeKey(uint8_t(seed));
    EXPECT_GE(key.size(), 15u) << seed;
    EXPECT_LE(key.size(), 31u) << seed;
  }
}

TEST(CTQCrypto, StreamContainerLayoutAndRoundTrip) {
  TempFolder folder;
  const std::string name = (folder.path() / "data.tqc").string();
  const Bytes plain = everyByteValue();
  CTQCrypto writer;
  ASSERT_TRUE(writer.openWrite(name));
  // The key position runs on across writes.
  ASSERT_TRUE(writer.write(plain.data(), 100));
  ASSERT_TRUE(writer.write(plain.data() + 100, plain.size() - 100));
  writer.close();

  const Bytes file = readFile(name);
  ASSERT_EQ(file.size(), 5 + plain.size());
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{0x85, 0xE6, 0xFF, 0xFF}));
  EXPECT_EQ(file[4], writer.getSeed());
  CTQCrypto other;
  expectScrambledWith(Bytes(file.begin() + 5, file.end()), plain, other.makeKey(file[4]));

  for (size_t chunk : {size_t(1), size_t(7), size_t(1000)}) {
    CTQCrypto reader;
    ASSERT_TRUE(reader.openRead(name));
    EXPECT_EQ(readAll(reader, chunk), plain) << chunk;
  }
}

TEST(CTQCrypto, MemoryContainerReadsTheSameBytes) {
  TempFolder folder;
  const std::string name = (folder.path() / "data.tqc").string();
  const Bytes plain = everyByteValue();
  CTQCrypto writer;
  ASSERT_TRUE(writer.openWrite(name));
  ASSERT_TRUE(writer.write(plain.data(), plain.size()));
  writer.close();
  Bytes file = readFile(name);

  CaptureLog log;
  CTQCrypto reader;
  ASSERT_TRUE(reader.openBuffer(file.data(), file.size()));
  EXPECT_EQ(readAll(reader, 33), plain);
  EXPECT_EQ(log.text(), "");

  // A wrong magic is reported, and the bytes are still read.
  file[0] = 0x84;
  ASSERT_TRUE(reader.openBuffer(file.data(), file.size()));
  EXPECT_EQ(log.text(), "Error, buffer is not a valid tqCrypto file\n");
  EXPECT_EQ(readAll(reader, 1000), plain);
}

TEST(CTQCrypto, OpenFailuresAreReported) {
  TempFolder folder;
  CaptureLog log;
  CTQCrypto crypto;
  const std::string unwritable = (folder.path() / "missing" / "x.tqc").string();
  EXPECT_FALSE(crypto.openWrite(unwritable));
  EXPECT_EQ(log.text(), "ERROR OPENING FILE " + unwritable + "\n");
  EXPECT_FALSE(crypto.write("x", 1));

  EXPECT_FALSE(crypto.openRead(unwritable));
  const std::string notContainer = folder.write("plain.txt", "\x85\xE6\xFF\xFE\x01hello");
  EXPECT_FALSE(crypto.openRead(notContainer));
  EXPECT_EQ(log.text(), "ERROR OPENING FILE " + unwritable + "\nError, " + notContainer +
                            " is not a valid tqCrypto file\n");
  char buffer[4];
  EXPECT_EQ(crypto.read(buffer, sizeof(buffer)), 0u);  // nothing open: nothing read
}

TEST(CTQCrypto, TruncatedContainersReportWhatTheyHold) {
  TempFolder folder;
  const std::string name = (folder.path() / "data.tqc").string();
  const Bytes plain = everyByteValue();
  CTQCrypto writer;
  ASSERT_TRUE(writer.openWrite(name));
  ASSERT_TRUE(writer.write(plain.data(), plain.size()));
  writer.close();
  const Bytes file = readFile(name);

  for (size_t length = 0; length < file.size(); ++length) {
    const Bytes prefix(file.begin(), file.begin() + length);
    std::ofstream(name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(prefix.data()), std::streamsize(prefix.size()));
    CaptureLog log;
    CTQCrypto fromFile, fromMemory;
    const bool openedFile = fromFile.openRead(name);
    const bool openedMemory = fromMemory.openBuffer(prefix.data(), prefix.size());
    if (length < 5) {
      EXPECT_FALSE(openedFile) << length;
      EXPECT_FALSE(openedMemory) << length;
      EXPECT_NE(log.text(), "") << length;
      continue;
    }
    ASSERT_TRUE(openedFile) << length;
    ASSERT_TRUE(openedMemory) << length;
    const Bytes expected(plain.begin(), plain.begin() + (length - 5));
    EXPECT_EQ(readAll(fromFile, 64), expected) << length;
    EXPECT_EQ(readAll(fromMemory, 64), expected) << length;
  }
}

TEST(CTQCrypto, BufferFormRoundTrip) {
  const Bytes plain = everyByteValue();
  CTQCrypto crypto;
  crypto.scrambleBuffer(plain.data(), plain.size());
  ASSERT_EQ(crypto.getResultSize(), plain.size() + 1);
  Bytes scrambled(crypto.getResultSize());
  crypto.copyResult(scrambled.data());
  EXPECT_EQ(scrambled.back(), crypto.getSeed());  // the seed travels last
  CTQCrypto other;
  expectScrambledWith(Bytes(scrambled.begin(), scrambled.end() - 1), plain,
                      other.makeKey(scrambled.back()));

  ASSERT_TRUE(other.unscrambleBuffer(scrambled.data(), scrambled.size()));
  Bytes back(other.getResultSize());
  other.copyResult(back.data());
  EXPECT_EQ(back, plain);
}

TEST(CTQCrypto, BufferFormEdges) {
  CTQCrypto crypto;
  crypto.scrambleBuffer(nullptr, 0);
  ASSERT_EQ(crypto.getResultSize(), 1u);  // the seed alone
  uint8_t seedOnly = 0;
  crypto.copyResult(&seedOnly);
  EXPECT_EQ(seedOnly, crypto.getSeed());

  EXPECT_TRUE(crypto.unscrambleBuffer(&seedOnly, 1));
  EXPECT_EQ(crypto.getResultSize(), 0u);
  // Nothing to take a seed from.
  EXPECT_FALSE(crypto.unscrambleBuffer(&seedOnly, 0));
  EXPECT_EQ(crypto.getResultSize(), 0u);
}

}  // namespace
