#include "archive/CPZFS.h"
#include "foundation/NBINIReader.h"

#include "tests/support/CaptureLog.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Files = std::vector<std::pair<std::string, std::string>>;  // name, content

std::string everyByteValue() {
  std::string bytes;
  for (int round = 0; round < 3; ++round) {
    for (int v = 0; v < 256; ++v) bytes += char(v ^ (round * 0x5A));
  }
  return bytes;
}

std::string u32(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = char(value >> (8 * i));
  return bytes;
}

std::string record(const std::string& name, int32_t size, int32_t offset) {
  std::string bytes = name;
  bytes.resize(512, '\0');
  return bytes + u32(uint32_t(size)) + u32(uint32_t(offset));
}

// A plain archive laid out by hand, so that hostile names and tables can be written.
std::string handMadeArchive(const Files& files) {
  std::string table = "ayupan" + u32(uint32_t(files.size())) + '\x2A';
  std::string data;
  size_t offset = 11 + 520 * files.size();
  for (const auto& [name, content] : files) {
    table += record(name, int32_t(content.size()), int32_t(offset + data.size()));
    data += content;
  }
  return table + data;
}

// Files written below the current folder and packed, as named, into archive.
bool packFiles(const TempFolder& folder, const std::string& archive, const Files& files,
               bool scrambled) {
  CPZFS pzfs;
  pzfs.setScrambled(scrambled);
  if (!pzfs.create(archive)) return false;
  for (const auto& [name, content] : files) {
    std::string path = name;
    std::replace(path.begin(), path.end(), '\\', '/');  // names may be written the Windows way
    folder.write(path, content);
    if (!pzfs.addFile(name)) return false;
  }
  return pzfs.pack();
}

std::string contentOf(CPZFS& pzfs, const std::string& name) {
  const std::unique_ptr<CPZFile> file = pzfs.open(name);
  if (!file) return "<none>";
  std::string bytes(file->getSize(), '\0');
  EXPECT_EQ(file->read(bytes.data(), bytes.size()), bytes.size());
  char more;
  EXPECT_EQ(file->read(&more, 1), 0u);  // nothing past the end
  return bytes;
}

const Files kSample = {
    {"every.bin", everyByteValue()},
    {"empty.txt", ""},
    {"cars/sub/car.ini", "[CAR]\r\nMASS=1200\r\n"},
};

class CPZFSTest : public ::testing::Test {
 protected:
  CPZFSTest() { folder.enter(); }
  TempFolder folder;
};

TEST_F(CPZFSTest, RoundTripPlainAndScrambled) {
  for (bool scrambled : {false, true}) {
    SCOPED_TRACE(scrambled ? "scrambled" : "plain");
    ASSERT_TRUE(packFiles(folder, "sample.pzfs", kSample, scrambled));
    CPZFS pzfs;
    pzfs.setScrambled(scrambled);
    ASSERT_TRUE(pzfs.openArchive("sample.pzfs"));
    ASSERT_EQ(pzfs.getEntries().size(), kSample.size());
    fs::remove_all("cars");
    for (const auto& [name, content] : kSample) {
      fs::remove(name);
      EXPECT_EQ(contentOf(pzfs, name), content) << name;
    }

    const std::string out = scrambled ? "out-scrambled" : "out-plain";
    CPZFS unpacker;
    unpacker.setScrambled(scrambled);
    ASSERT_TRUE(unpacker.unpack("sample.pzfs", out));
    for (const auto& [name, content] : kSample) {
      EXPECT_EQ(readFileText(out + "/" + name), content);
    }
  }
}

TEST_F(CPZFSTest, FileLayout) {
  const std::string content = "hello";
  for (bool scrambled : {false, true}) {
    SCOPED_TRACE(scrambled ? "scrambled" : "plain");
    ASSERT_TRUE(packFiles(folder, "one.pzfs", {{"dir\\a.txt", content}}, scrambled));
    const std::string bytes = readFileText("one.pzfs");
    ASSERT_EQ(bytes.size(), 11 + 520 + content.size());
    EXPECT_EQ(bytes.substr(0, 10), "ayupan" + u32(1));

    // Record and data are each scrambled on their own from key position 0.
    CTQCrypto crypto;
    const std::string key = crypto.makeKey(uint8_t(bytes[10]));
    std::string plain = bytes.substr(11);
    if (scrambled) {
      for (size_t i = 0; i < 520; ++i) plain[i] = char(plain[i] - key[i % key.size()]);
      for (size_t i = 0; i < content.size(); ++i) {
        plain[520 + i] = char(plain[520 + i] - key[i % key.size()]);
      }
      EXPECT_EQ(bytes.find("dir\\a.txt"), std::string::npos);
    }
    EXPECT_EQ(plain.substr(0, 10), std::string("dir\\a.txt") + '\0');  // name as added
    EXPECT_EQ(plain.substr(512, 8), u32(5) + u32(531));                // size, offset
    EXPECT_EQ(plain.substr(520), content);
  }
}

TEST_F(CPZFSTest, EmptyArchiveIsElevenBytes) {
  ASSERT_TRUE(packFiles(folder, "empty.pzfs", {}, false));
  const std::string bytes = readFileText("empty.pzfs");
  ASSERT_EQ(bytes.size(), 11u);
  EXPECT_EQ(bytes.substr(0, 10), "ayupan" + u32(0));
  CPZFS pzfs;
  EXPECT_TRUE(pzfs.openArchive("empty.pzfs"));
  EXPECT_TRUE(pzfs.getEntries().empty());
  EXPECT_TRUE(pzfs.unpack("empty.pzfs", "out"));
}

TEST_F(CPZFSTest, PackingTwiceGivesDifferentBytesThatUnpackEqual) {
  for (bool scrambled : {false, true}) {
    SCOPED_TRACE(scrambled ? "scrambled" : "plain");
    ASSERT_TRUE(packFiles(folder, "first.pzfs", kSample, scrambled));
    ASSERT_TRUE(packFiles(folder, "second.pzfs", kSample, scrambled));
    EXPECT_NE(readFileText("first.pzfs"), readFileText("second.pzfs"));
    for (const char* archive : {"first.pzfs", "second.pzfs"}) {
      CPZFS pzfs;
      pzfs.setScrambled(scrambled);
      ASSERT_TRUE(pzfs.unpack(archive, std::string("out-") + archive));
    }
    for (const auto& [name, content] : kSample) {
      EXPECT_EQ(readFileText("out-first.pzfs/" + name), content);
      EXPECT_EQ(readFileText("out-second.pzfs/" + name), content);
    }
  }
}

TEST_F(CPZFSTest, LogLines) {
  folder.write("a.txt", "abc");
  {
    CaptureLog log;
    CPZFS pzfs;
    ASSERT_TRUE(pzfs.create("plain.pzfs"));
    ASSERT_TRUE(pzfs.addFile("a.txt"));
    ASSERT_TRUE(pzfs.addFile("missing.txt"));
    EXPECT_FALSE(pzfs.pack());  // a file was left out
    EXPECT_EQ(log.text(),
              "Writing vFat, pass 1\nArchiving a.txt...ok\nArchiving missing.txt...failed\n"
              "Writing vFat, pass 2\n");
    // The archive is still written; the file that failed keeps an empty entry.
    ASSERT_EQ(pzfs.getEntries().size(), 2u);
    EXPECT_EQ(pzfs.getEntries()[1].size, 0);
  }
  {
    CaptureLog log;
    CPZFS pzfs;
    pzfs.setScrambled(true);
    ASSERT_TRUE(pzfs.create("scrambled.pzfs"));
    ASSERT_TRUE(pzfs.addFile("a.txt"));
    ASSERT_TRUE(pzfs.pack());
    EXPECT_EQ(log.text(),
              "Writing vFat, pass 1\nencrypting...done...Archiving a.txt...encrypting...done...ok\n"
              "Writing vFat, pass 2\nencrypting...done...");
  }
  ASSERT_TRUE(packFiles(folder, "nested.pzfs", {{"d/x.txt", "x"}}, false));
  fs::remove_all("d");
  CaptureLog log;
  CPZFS pzfs;
  EXPECT_TRUE(pzfs.unpack("nested.pzfs"));
  EXPECT_EQ(log.text(), "Reading vFat...ok\nExtracting d/x.txt...\nCreating folder d...ok\nok\n");
  EXPECT_EQ(readFileText("d/x.txt"), "x");
}

TEST_F(CPZFSTest, OpenByName) {
  ASSERT_TRUE(packFiles(folder, "cfg.pzfs",
                        {{"cfg/PzPro.ini", "archived"}, {"data/cars/car.ini", "car"}}, true));
  fs::remove_all("cfg");
  fs::remove_all("data");
  CPZFS pzfs;
  pzfs.setScrambled(true);
  ASSERT_TRUE(pzfs.openArchive("cfg.pzfs"));

  // Letter case and separators do not matter; the whole name must match.
  EXPECT_EQ(contentOf(pzfs, "cfg/PzPro.ini"), "archived");
  EXPECT_EQ(contentOf(pzfs, "CFG\\pzpro.INI"), "archived");
  EXPECT_EQ(contentOf(pzfs, "cfg/PzPro.in"), "<none>");
  EXPECT_EQ(contentOf(pzfs, "PzPro.ini"), "<none>");

  // A real file wins over the entry.
  folder.write("cfg/pzpro.ini", "real");
  {
    CaptureLog log;
    EXPECT_EQ(contentOf(pzfs, "cfg/pzpro.ini"), "real");
    EXPECT_EQ(log.text(), "PZFS: Using real file for cfg/pzpro.ini\n");
  }
  // A folder is not a real file.
  fs::create_directories("PzPro.ini");
  EXPECT_EQ(contentOf(pzfs, "PzPro.ini"), "<none>");

  // The virtual folder prefixes archive lookups.
  EXPECT_EQ(contentOf(pzfs, "cars/car.ini"), "<none>");
  {
    CaptureLog log;
    pzfs.setVirtualFolderName("data/");
    EXPECT_EQ(log.text(), "virtualFolderName=data/\n");
  }
  EXPECT_EQ(contentOf(pzfs, "cars/car.ini"), "car");
  EXPECT_EQ(contentOf(pzfs, "data/cars/car.ini"), "<none>");
}

TEST_F(CPZFSTest, NBINIReaderReadsThroughTheInstalledArchive) {
  ASSERT_TRUE(packFiles(folder, "refs.pzfs",
                        {{"refs.ini", std::string("[PZPH_A]\r\nPOS=1,2,3\r\n\0[B]\r\n", 26)}},
                        false));
  fs::remove("refs.ini");
  {
    CPZFS pzfs;
    ASSERT_TRUE(pzfs.openArchive("refs.pzfs"));
    ASSERT_EQ(setArchiveSource(&pzfs), nullptr);

    NBINIReader reader;
    reader.load("REFS.ini", true);
    ASSERT_TRUE(reader.loaded);
    EXPECT_EQ(reader.text, "[PZPH_A]\r\nPOS=1,2,3\r\n");  // up to the first NUL
    float x, y, z;
    reader.getVector3("PZPH_A", "POS", x, y, z);
    EXPECT_EQ(z, 3);

    reader.load("missing.ini", true);
    EXPECT_FALSE(reader.loaded);
    EXPECT_EQ(reader.text, "[PZPH_A]\r\nPOS=1,2,3\r\n");
    reader.load("refs.ini", false);  // not from the archive: there is no such real file
    EXPECT_FALSE(reader.loaded);

    folder.write("refs.ini", "[PZPH_A]\r\nPOS=4,5,6\r\n");
    reader.load("refs.ini", true);
    reader.getVector3("PZPH_A", "POS", x, y, z);
    EXPECT_EQ(z, 6);
  }
  EXPECT_EQ(archiveSource(), nullptr);  // a destroyed archive uninstalls itself
}

TEST_F(CPZFSTest, HostileNamesNeverLeaveTheTargetFolder) {
  const std::string absolute = (folder.path() / "absolute.txt").string();
  const struct {
    const char* name;
    const char* escapesTo;  // below the temporary folder, where it would land
  } cases[] = {
      {"../escape.txt", "a/escape.txt"},
      {"..\\escape.txt", "a/escape.txt"},
      {"sub/../../escape.txt", "a/escape.txt"},
      {"sub\\..\\..\\..\\escape.txt", "escape.txt"},
      {"../made/x.txt", "a/made"},
      {absolute.c_str(), "absolute.txt"},
      {"\\absolute.txt", "absolute.txt"},
      {"C:\\absolute.txt", "absolute.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream("hostile.pzfs", std::ios::binary)
        << handMadeArchive({{"first.txt", "1"}, {c.name, "evil"}, {"last.txt", "3"}});
    CaptureLog log;
    CPZFS pzfs;
    EXPECT_FALSE(pzfs.unpack("hostile.pzfs", "a/b"));
    EXPECT_EQ(readFileText("a/b/first.txt"), "1");
    EXPECT_FALSE(fs::exists(c.escapesTo));
    EXPECT_FALSE(fs::exists("a/b/last.txt"));  // the unpack ends at the refused entry
    EXPECT_NE(log.text().find(std::string("Extracting ") + c.name +
                              "...refused, the name leaves the target folder\n"),
              std::string::npos);
    fs::remove_all("a");
  }
  // Dots inside names are fine.
  std::ofstream("dots.pzfs", std::ios::binary) << handMadeArchive({{"a..b/c..txt", "dots"}});
  CPZFS pzfs;
  EXPECT_TRUE(pzfs.unpack("dots.pzfs", "out"));
  EXPECT_EQ(readFileText("out/a..b/c..txt"), "dots");
}

TEST_F(CPZFSTest, OutputThatCannotBeCreatedEndsTheUnpack) {
  std::ofstream("blocked.pzfs", std::ios::binary)
      << handMadeArchive({{"blocker/x.txt", "x"}, {"after.txt", "y"}});
  folder.write("out/blocker", "a file where a folder is needed");
  CaptureLog log;
  CPZFS pzfs;
  EXPECT_FALSE(pzfs.unpack("blocked.pzfs", "out"));
  EXPECT_FALSE(fs::exists("out/after.txt"));
  EXPECT_EQ(log.text(),
            "Reading vFat...ok\nExtracting blocker/x.txt...\nCreating folder out/blocker..."
            "failed\n");
  EXPECT_FALSE(pzfs.unpack("no-such.pzfs", "out"));
}

// Two entries, "a.txt" holding "first" and "b.txt" holding "second", and ways to break them.
struct TwoEntries {
  static constexpr size_t kTableEnd = 11 + 2 * 520;
  std::string valid = handMadeArchive({{"a.txt", "first"}, {"b.txt", "second"}});

  std::string withRecord(size_t index, int32_t size, int32_t offset) const {
    std::string bytes = valid;
    bytes.replace(11 + index * 520, 520, record(index ? "b.txt" : "a.txt", size, offset));
    return bytes;
  }
};

TEST_F(CPZFSTest, BadArchivesAreRejected) {
  const TwoEntries two;
  const std::string& valid = two.valid;
  std::vector<std::pair<std::string, std::string>> cases;  // what, bytes
  for (size_t length = 0; length < TwoEntries::kTableEnd; ++length) {
    cases.emplace_back("prefix of " + std::to_string(length), valid.substr(0, length));
  }
  cases.emplace_back("bad magic", "ayupam" + valid.substr(6));
  cases.emplace_back("count past the end", valid.substr(0, 6) + u32(3) + valid.substr(10));
  cases.emplace_back("huge count", valid.substr(0, 6) + u32(0xFFFFFFFF) + valid.substr(10));
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    std::ofstream("bad.pzfs", std::ios::binary | std::ios::trunc) << bytes;
    CaptureLog log;
    CPZFS pzfs;
    EXPECT_FALSE(pzfs.openArchive("bad.pzfs"));
    EXPECT_TRUE(pzfs.getEntries().empty());
    EXPECT_EQ(contentOf(pzfs, "a.txt"), "<none>");
    EXPECT_FALSE(pzfs.unpack("bad.pzfs", "out"));
    EXPECT_FALSE(fs::exists("out"));
    EXPECT_EQ(log.text().find("ok\n"), std::string::npos);
  }
}

TEST_F(CPZFSTest, EntryPastTheEndFailsAloneAndTheOthersStayReadable) {
  const TwoEntries two;
  const std::string& valid = two.valid;
  struct Case {
    std::string what, bytes, a, b;  // a and b: what each entry reads back
  };
  std::vector<Case> cases = {
      {"size past the end", two.withRecord(1, 7, int32_t(TwoEntries::kTableEnd + 5)), "first",
       "<none>"},
      {"offset past the end", two.withRecord(0, 5, int32_t(valid.size())), "<none>", "second"},
      {"offset and size overflow", two.withRecord(0, INT32_MAX, INT32_MAX), "<none>", "second"},
  };
  // Data cut short: "first" ends 5 bytes after the table, "second" 6 bytes later.
  for (size_t length = TwoEntries::kTableEnd; length < valid.size(); ++length) {
    cases.push_back({"prefix of " + std::to_string(length), valid.substr(0, length),
                     length >= TwoEntries::kTableEnd + 5 ? "first" : "<none>", "<none>"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::ofstream("cut.pzfs", std::ios::binary | std::ios::trunc) << c.bytes;
    CaptureLog log;
    CPZFS pzfs;
    ASSERT_TRUE(pzfs.openArchive("cut.pzfs"));
    EXPECT_EQ(pzfs.getEntries().size(), 2u);
    EXPECT_EQ(contentOf(pzfs, "a.txt"), c.a);
    EXPECT_EQ(contentOf(pzfs, "B.TXT"), c.b);
    for (const char* name : {"a.txt", "b.txt"}) {
      const bool broken = (name[0] == 'a' ? c.a : c.b) == "<none>";
      EXPECT_EQ(log.text().find(std::string("Error, ") + name +
                                " lies past the end of the archive\n") != std::string::npos,
                broken)
          << name;
    }
    EXPECT_FALSE(pzfs.unpack("cut.pzfs", "out"));  // ends at the broken entry
    if (c.a == "<none>") {
      EXPECT_FALSE(fs::exists("out/a.txt"));
    } else {
      EXPECT_EQ(readFileText("out/a.txt"), c.a);
    }
    EXPECT_FALSE(fs::exists("out/b.txt"));
    fs::remove_all("out");
  }
}

TEST_F(CPZFSTest, NegativeSizesAreReportedAndCannotBeRead) {
  for (const auto& [size, offset] : {std::pair{-1, 11 + 520}, std::pair{1, -5}}) {
    std::string bytes = handMadeArchive({{"neg.txt", "x"}});
    bytes.replace(11, 520, record("neg.txt", size, offset));
    std::ofstream("neg.pzfs", std::ios::binary | std::ios::trunc) << bytes;
    CaptureLog log;
    CPZFS pzfs;
    ASSERT_TRUE(pzfs.openArchive("neg.pzfs"));
    EXPECT_EQ(log.text(), "Reading vFat...Error f->offset<0 || f->size<0 neg.txt\nok\n");
    EXPECT_EQ(pzfs.getEntries().size(), 1u);  // it stays in the table
    EXPECT_EQ(contentOf(pzfs, "neg.txt"), "<none>");
    EXPECT_FALSE(pzfs.unpack("neg.pzfs", "out"));
    EXPECT_FALSE(fs::exists("out/neg.txt"));
  }
}

TEST_F(CPZFSTest, ScrambledArchiveReadPlainYieldsNoFile) {
  ASSERT_TRUE(packFiles(folder, "s.pzfs", kSample, true));
  fs::remove_all("cars");
  for (const auto& [name, content] : kSample) fs::remove(name);
  CPZFS pzfs;
  // The header is never scrambled, so the table is read; its records are garbage.
  ASSERT_TRUE(pzfs.openArchive("s.pzfs"));
  ASSERT_EQ(pzfs.getEntries().size(), kSample.size());
  for (const auto& [name, content] : kSample) EXPECT_EQ(contentOf(pzfs, name), "<none>");
  EXPECT_FALSE(pzfs.unpack("s.pzfs", "out"));
}

TEST_F(CPZFSTest, LongNamesAreRefused) {
  CPZFS pzfs;
  const std::string longest(511, 'n');
  EXPECT_TRUE(pzfs.addFile(longest));
  EXPECT_EQ(pzfs.getEntries().back().fileName(), longest);
  CaptureLog log;
  EXPECT_FALSE(pzfs.addFile(longest + "n"));
  EXPECT_EQ(pzfs.getEntries().size(), 1u);
  EXPECT_EQ(log.text(), "Error, name longer than 511 bytes refused: " + longest + "n\n");
}

TEST_F(CPZFSTest, PreviousArchiveSurvivesAnUnfinishedPack) {
  folder.write("old.pzfs", "previous archive");
  {
    CPZFS pzfs;
    ASSERT_TRUE(pzfs.create("old.pzfs"));
    pzfs.addFile("a.txt");
  }
  EXPECT_EQ(readFileText("old.pzfs"), "previous archive");
  EXPECT_FALSE(fs::exists("old.pzfs.part"));
  CaptureLog log;
  CPZFS pzfs;
  EXPECT_FALSE(pzfs.create("no-folder/new.pzfs"));
  EXPECT_EQ(log.text(), "Error, cannot create no-folder/new.pzfs\n");
}

}  // namespace
