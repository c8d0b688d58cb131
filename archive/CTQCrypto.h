// Byte scrambling with a key derived from a one-byte seed, so the seed travels with the data and
// no key is stored beside it. Byte i is stored as the plain byte plus the key character at
// keyPosition (modulo 256), and keyPosition then advances, wrapping at the key's length;
// unscrambling subtracts. Three forms:
// - stream container file: u32 magic 0xFFFFE685 (little-endian), u8 seed, scrambled bytes;
//   keyPosition starts at 0 after the header and runs on across all reads or writes;
// - the same container read from a copy in memory;
// - bare buffer: the scrambled bytes followed by the seed byte.
// The key derivation alone also scrambles PZFS archives (CPZFS). Seeds are the low byte of
// rand().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

class CTQCrypto {
 public:
  CTQCrypto() = default;
  // Closes the container file, if any.
  virtual ~CTQCrypto();
  CTQCrypto(const CTQCrypto&) = delete;
  CTQCrypto& operator=(const CTQCrypto&) = delete;

  // Derives, stores and returns the key of a seed: the text of eight numbers taken from the
  // fixed table, "%d-%d-%d-%d-%d-%d-%d-%d" (15 to 31 characters). Seeds 0 and 255 give the
  // same key. Restarts keyPosition at 0.
  const std::string& makeKey(uint8_t seed);

  // Adds (scramble) or subtracts (unscramble) key characters in place, starting at
  // keyPosition, which is advanced past the bytes done. The key must not be empty.
  static void scramble(std::span<uint8_t> bytes, const std::string& key, uint32_t& keyPosition);
  static void unscramble(std::span<uint8_t> bytes, const std::string& key,
                         uint32_t& keyPosition);

  // Creates the container file and writes its header with a new seed. Failure (logs "ERROR
  // OPENING FILE <name>"): false.
  bool openWrite(const std::string& fileName);
  // Appends size scrambled bytes to the container opened by openWrite; false when not all were
  // written.
  bool write(const void* data, size_t size);
  // Opens a container file and reads its header. False when it does not open, and (logging
  // "Error, <name> is not a valid tqCrypto file") when the header is short or the magic wrong.
  bool openRead(const std::string& fileName);
  // Copies up to size unscrambled bytes into buffer from the container opened by openRead or
  // openBuffer; returns how many it got (fewer at the end of the data, 0 with no container).
  size_t read(void* buffer, size_t size);
  // Closes the container file and drops the memory container.
  void close();

  // Opens a container held in memory (the bytes are copied). A wrong magic only logs "Error,
  // buffer is not a valid tqCrypto file" and the bytes are read regardless; a buffer shorter
  // than the five header bytes logs the same and gives false.
  bool openBuffer(const void* data, size_t size);

  // Scrambles size bytes with a new seed into the result: the bytes, then the seed (size + 1
  // bytes).
  void scrambleBuffer(const void* data, size_t size);
  // Unscrambles a bare buffer (its last byte is the seed) into the result (size - 1 bytes).
  // False, with an empty result, when size is 0.
  bool unscrambleBuffer(const void* data, size_t size);
  // Length in bytes of the last scrambleBuffer/unscrambleBuffer result.
  size_t getResultSize() const { return result.size(); }
  // Copies the result to destination, which must hold getResultSize() bytes.
  void copyResult(void* destination) const;

  // Seed of the last container or buffer made or opened.
  uint8_t getSeed() const { return seed; }

  // A new seed: the low byte of rand().
  static uint8_t newSeed();

  static constexpr uint32_t kMagic = 0xFFFFE685;

 private:

  int32_t tableIndex = 0;
  uint8_t seed = 0;
  std::string key;
  uint32_t keyPosition = 0;
  std::vector<uint8_t> result;
  std::vector<uint8_t> input;
  size_t inputPosition = 0;
  FILE* file = nullptr;
};
