// Files whose counts claim far more than they hold, one for each reader of outside data: each is
// read in a child process, without a GL context, which must come back (no crash) having grown
// by no more than four times the file plus 64 MB (its peak resident memory after the read less
// that before it).
#include "archive/CPZFS.h"
#include "editor/CEditInterface.h"
#include "formats/ZFileZMF.h"
#include "formats/ZModelFile.h"
#include "platform/d3dx/ImageFile.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/Sanitizers.h"
#include "tests/support/ScopedDesktop.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

namespace {

// Peak resident memory of this process so far, kB (VmHWM).
int64_t peakResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6));
  }
  return -1;
}

void putU32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = char(value >> (8 * i));
}

// A saved model of one mesh "HOSTILE" with one vertex and one face, as ZMF or ZMT.
std::string smallModel(const TempFolder& folder, bool binary) {
  ZCorvane engine;
  ZFrame* root = engine.getNewFrame();
  ZGeometry* g = engine.getNewGeometry();
  g->name = "HOSTILE";
  g->addVertex({1, 2, 3});
  g->addTriangle(0, 0, 0);
  root->addGeometry(g);
  const std::string path = folder.file(binary ? "small.zmf" : "small.zmt");
  ZFileZMF file(&engine);
  EXPECT_TRUE(binary ? file.save(path, root) : file.saveText(path, root));
  return readFileText(path);
}

// The ZMF with its mesh claiming 2^31 vertices, cut to 200 bytes past the claim.
std::string zmfClaimingVertices(const TempFolder& folder) {
  std::string bytes = smallModel(folder, true);
  const size_t name = bytes.find("HOSTILE");
  putU32(bytes, name + 7, 0x80000000u);  // the vertex count follows the name
  return bytes.substr(0, name + 11 + 200);
}

std::string zmtClaimingVertices(const TempFolder& folder) {
  std::string text = smallModel(folder, false);
  for (const char* key : {"VERTICES=", "FACES="}) {
    const size_t at = text.find(key);
    const size_t end = text.find_first_of("\r\n", at);
    text.replace(at, end - at, std::string(key) + "2147483647");
  }
  return text;
}

// A 4 x 4 DDS whose header then claims 65535 x 65535 pixels, cut to 200 bytes.
std::string ddsClaimingPixels(const TempFolder& folder) {
  D3DXImage image;
  image.format = D3DFMT_A8R8G8B8;
  D3DXImageLevel level;
  level.width = level.height = 4;
  level.bytes.assign(64, 0x7F);
  image.faces.push_back({level});
  const std::string path = folder.file("small.dds");
  EXPECT_TRUE(SUCCEEDED(D3DXSaveImageToDDSFileA(path.c_str(), image)));
  std::string bytes = readFileText(path);
  putU32(bytes, 12, 65535);  // height
  putU32(bytes, 16, 65535);  // width
  return bytes.substr(0, 200);
}

std::string tgaClaimingPixels() {
  std::string bytes(18 + 182, '\x40');
  std::memset(bytes.data(), 0, 18);
  bytes[2] = 2;  // truecolour
  bytes[12] = bytes[13] = bytes[14] = bytes[15] = '\xFF';
  bytes[16] = 32;
  bytes[17] = 0x28;
  return bytes;
}

// An archive of no files whose table then claims 10^9 entries.
std::string pzfsClaimingEntries(const TempFolder& folder) {
  const std::string path = folder.file("empty.pzfs");
  CPZFS pzfs;
  EXPECT_TRUE(pzfs.create(path) && pzfs.pack());
  std::string bytes = readFileText(path);
  putU32(bytes, 6, 1000000000u);
  return bytes;
}

struct Hostile {
  const char* reader;
  const char* fileName;
  std::function<std::string(const TempFolder&)> bytes;
  std::function<void(const std::string& path, ZCorvane&, CEditInterface&)> read;
};

void readModel(const std::string& path, ZCorvane& engine, CEditInterface&) {
  LoadedModel model;
  loadModel(path, engine, 1, false, model);
}

void readImage(const std::string& path, ZCorvane&, CEditInterface&) {
  D3DXImage image;
  D3DXLoadImageFromFileA(path.c_str(), image, nullptr);
}

const Hostile kHostile[] = {
    {"ZMF", "claims.zmf", zmfClaimingVertices, readModel},
    {"ZMT", "claims.zmt", zmtClaimingVertices, readModel},
    {"ASE", "claims.ase",
     [](const TempFolder&) {
       return std::string(
           "*3DSMAX_ASCIIEXPORT 200\n*GEOMOBJECT {\n *NODE_NAME \"hostile\"\n *MESH {\n"
           "  *MESH_NUMVERTEX 2147483647\n  *MESH_NUMFACES 2147483647\n"
           "  *MESH_NUMTVERTEX 2147483647\n  *MESH_VERTEX_LIST {\n"
           "   *MESH_VERTEX 0 0.0 0.0 0.0\n  }\n  *MESH_FACE_LIST {\n"
           "   *MESH_FACE 0: A: 0 B: 1 C: 2147483646\n  }\n }\n}\n");
     },
     readModel},
    {"OBJ", "claims.obj",
     [](const TempFolder&) {
       return std::string("v 0 0 0\nvt 0 0\nf 1/1 2147483647/2147483647 -2147483647\n");
     },
     readModel},
    {"XSI", "claims.xsi",
     [](const TempFolder&) {
       return std::string(
           "SI_Mesh m { SI_Shape { 1, \"ORDERED\", 2147483647, \"POSITION\", 0,0,0, }\n"
           "SI_PolygonList { 2147483647, \"NORMAL\", \"\", 2147483647, 3,3,3, 0,1,2, }\n}}\n");
     },
     readModel},
    {"X", "claims.x",
     [](const TempFolder&) {
       return std::string(
           "xof 0303txt 0032\nMesh m {\n 2147483647;\n 0;0;0;;\n 2147483647;\n 3;0,1,2;;\n"
           " MeshTextureCoords { 2147483647; 0;0;; }\n}\n");
     },
     readModel},
    {"glTF", "claims.gltf",
     [](const TempFolder&) {
       return std::string(
           R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],)"
           R"("meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1}]}],)"
           R"("accessors":[{"bufferView":0,"componentType":5126,"count":2147483647,"type":"VEC3"},)"
           R"({"bufferView":0,"componentType":5125,"count":2147483647,"type":"SCALAR"}],)"
           R"("bufferViews":[{"buffer":0,"byteLength":12}],)"
           R"("buffers":[{"byteLength":12,"uri":"data:application/octet-stream;base64,AAAAAAAAAAAAAAAA"}]})");
     },
     readModel},
    {"DDS", "claims.dds", ddsClaimingPixels, readImage},
    {"TGA", "claims.tga", [](const TempFolder&) { return tgaClaimingPixels(); }, readImage},
    {"PZFS", "claims.pzfs", pzfsClaimingEntries,
     [](const std::string& path, ZCorvane&, CEditInterface&) {
       CPZFS pzfs;
       pzfs.openArchive(path);
     }},
    {"camera file", "claims.cameras",
     [](const TempFolder&) {
       return std::string("[HEADER]\nVERSION=1\nCOUNT=2147483647\n[CAMERA0]\nNAME=a\n");
     },
     [](const std::string& path, ZCorvane&, CEditInterface& editor) {
       editor.importCameras(path);
     }},
    {"PZC file", "claims.pzc",
     [](const TempFolder&) {
       return std::string("[HEADER]\r\nCAMERAS=2147483647\r\n[CAMERA1]\r\nPX=1\r\n");
     },
     [](const std::string& path, ZCorvane&, CEditInterface& editor) { editor.importPZC(path); }},
    {"reference points", "claims.txt",
     [](const TempFolder&) {
       return std::string("[DUMMIES]\nNUMBER=2147483647\n[DUMMY0]\nNAME=X\nPOS=1,2,3\n");
     },
     [](const std::string& path, ZCorvane&, CEditInterface& editor) {
       editor.importPhysicRefs(path);
     }},
};

TEST(HostileMemory, CountsBeyondTheFileCostNoMoreThanTheFile) {
  if (kSanitizedBuild) GTEST_SKIP() << "the sanitizers' own memory would be measured";
  CaptureLog log;
  ScopedDesktop desktop;
  TempFolder folder;
  for (const Hostile& hostile : kHostile) {
    SCOPED_TRACE(hostile.reader);
    const std::string bytes = hostile.bytes(folder);
    const std::string path = folder.write(hostile.fileName, bytes);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    log.text();  // flushed before the child inherits the stream
    const pid_t child = fork();
    if (child == 0) {
      ZCorvane engine;
      CEditInterface editor("");
      editor.initPhysicRefs();
      const int64_t before = peakResidentKb();
      hostile.read(path, engine, editor);
      const int64_t grown = peakResidentKb() - before;
      const bool sent = write(pipeEnds[1], &grown, sizeof grown) == sizeof grown;
      _exit(sent ? 0 : 1);
    }
    close(pipeEnds[1]);
    int64_t grownKb = -1;
    const bool received = read(pipeEnds[0], &grownKb, sizeof grownKb) == sizeof grownKb;
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the reader did not come back";
    ASSERT_TRUE(received);
    const int64_t limitKb = 4 * int64_t(bytes.size()) / 1024 + 64 * 1024;
    EXPECT_LE(grownKb, limitKb) << bytes.size() << " bytes";
    std::printf("%-16s %6zu bytes: grew %lld kB\n", hostile.reader, bytes.size(),
                static_cast<long long>(grownKb));
  }
}

}  // namespace
