#include "platform/d3dx/XFileLoader.h"

#include "tests/platform/d3dx/MeshTestSupport.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>

namespace {

// Real X files shared by the project's tests; they are not copied into the repository.
const std::string kTestData = SHARED_TESTDATA "/x/";
constexpr DWORD kSystemMem = 272;  // D3DXMESH_SYSTEMMEM, as the X importer passes it

std::string readTestFile(const std::string& name) {
  std::ifstream in(kTestData + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << "missing test data " << kTestData << name;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Loaded {
  HRESULT result = E_FAIL;
  MeshPtr mesh;
  BufferPtr adjacency;
  BufferPtr materials;
  DWORD numMaterials = 0;
  ID3DXBuffer* effects = reinterpret_cast<ID3DXBuffer*>(uintptr_t(0x1));

  const D3DXMATERIAL& material(DWORD i) const {
    return static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer())[i];
  }
};

// Loads from memory or, with a path, from the file; checks the all-or-nothing output rule.
Loaded load(const std::string& bytes, DWORD options = kSystemMem, const char* path = nullptr) {
  Loaded loaded;
  ID3DXMesh* mesh = reinterpret_cast<ID3DXMesh*>(uintptr_t(0x1));
  ID3DXBuffer* adjacency = reinterpret_cast<ID3DXBuffer*>(uintptr_t(0x1));
  ID3DXBuffer* materials = reinterpret_cast<ID3DXBuffer*>(uintptr_t(0x1));
  loaded.numMaterials = 99;
  loaded.result = path ? D3DXLoadMeshFromXA(path, options, nullptr, &adjacency, &materials,
                                            &loaded.effects, &loaded.numMaterials, &mesh)
                       : D3DXLoadMeshFromXInMemory(bytes.data(), DWORD(bytes.size()), options,
                                                   nullptr, &adjacency, &materials, &loaded.effects,
                                                   &loaded.numMaterials, &mesh);
  loaded.mesh.reset(mesh);
  loaded.adjacency.reset(adjacency);
  loaded.materials.reset(materials);
  EXPECT_EQ(loaded.effects, nullptr);
  if (FAILED(loaded.result)) {
    EXPECT_EQ(mesh, nullptr);
    EXPECT_EQ(adjacency, nullptr);
    EXPECT_EQ(materials, nullptr);
    EXPECT_EQ(loaded.numMaterials, 0u);
  }
  return loaded;
}

TEST(D3DXLoadMeshFromX, TestFilesGiveTheirCounts) {
  const struct {
    const char* file;
    DWORD faces, vertices, materials;
    std::vector<const char*> textures;  // per material; null where it has none
  } cases[] = {
      {"kwxport_test_cubewithvcolors.x",
       12,
       24,
       3,
       {"C:\\code\\sourceforge\\kwxport\\trunkMerged\\test\\data\\bottom.tga",
        "C:\\code\\sourceforge\\kwxport\\trunkMerged\\test\\data\\top.tga",
        "C:\\code\\sourceforge\\kwxport\\trunkMerged\\test\\data\\updown.tga"}},
      {"test_cube_text.x", 12, 24, 1, {nullptr}},
      {"test_cube_binary.x", 12, 24, 1, {nullptr}},
      {"test_cube_compressed.x", 12, 24, 1, {nullptr}},
      {"Testwuson.X", 3732, 3205, 0, {}},  // no material list: no materials, ids 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = kTestData + c.file;
    Loaded x = load({}, kSystemMem, path.c_str());
    ASSERT_EQ(x.result, D3D_OK);
    EXPECT_EQ(x.mesh->GetNumFaces(), c.faces);
    EXPECT_EQ(x.mesh->GetNumVertices(), c.vertices);
    EXPECT_EQ(x.mesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
    EXPECT_EQ(x.mesh->GetNumBytesPerVertex(), 32u);
    EXPECT_EQ(x.mesh->GetOptions(), kSystemMem);
    ASSERT_EQ(x.numMaterials, c.materials);
    ASSERT_EQ(x.materials != nullptr, c.materials > 0);
    for (DWORD m = 0; m < c.materials; ++m) {
      const char* texture = x.material(m).pTextureFilename;
      if (c.textures[m]) {
        ASSERT_NE(texture, nullptr);
        EXPECT_STREQ(texture, c.textures[m]);
      } else {
        EXPECT_EQ(texture, nullptr);
      }
    }
    for (DWORD id : attributeValues(*x.mesh)) EXPECT_LT(id, std::max<DWORD>(c.materials, 1));
    ASSERT_EQ(x.adjacency->GetBufferSize(), 12 * c.faces);
    const auto* adjacency = static_cast<const DWORD*>(x.adjacency->GetBufferPointer());
    for (DWORD i = 0; i < 3 * c.faces; ++i) {
      // The cubes are closed once their split corners are welded.
      if (c.faces == 12) {
        EXPECT_LT(adjacency[i], 12u);
      } else if (adjacency[i] != 0xFFFFFFFF) {
        EXPECT_LT(adjacency[i], c.faces);
      }
    }
  }
}

TEST(D3DXLoadMeshFromX, MaterialsAndFaceIds) {
  Loaded x = load(readTestFile("kwxport_test_cubewithvcolors.x"));
  ASSERT_EQ(x.result, D3D_OK);
  const D3DMATERIAL9& bottom = x.material(0).MatD3D;
  EXPECT_FLOAT_EQ(bottom.Diffuse.r, 0.588f);
  EXPECT_FLOAT_EQ(bottom.Diffuse.a, 1.0f);
  EXPECT_FLOAT_EQ(bottom.Power, 31.0f);
  EXPECT_FLOAT_EQ(bottom.Specular.g, 0.38f);
  EXPECT_FLOAT_EQ(bottom.Emissive.b, 0.0f);
  EXPECT_FLOAT_EQ(bottom.Ambient.r, 0.0f);
  EXPECT_FLOAT_EQ(x.material(1).MatD3D.Power, 52.999996f);
  // Bottom and top have two faces each, the four sides the other eight.
  DWORD perMaterial[3] = {0, 0, 0};
  for (DWORD id : attributeValues(*x.mesh)) ++perMaterial[id];
  EXPECT_EQ(perMaterial[0], 2u);
  EXPECT_EQ(perMaterial[1], 2u);
  EXPECT_EQ(perMaterial[2], 8u);
  // The frame moves the box down by 0.492126: its first vertex lies at y = 0 in the file.
  float first[8];
  std::memcpy(first, vertexBytes(*x.mesh).data(), sizeof first);
  EXPECT_FLOAT_EQ(first[0], -0.492126f);
  EXPECT_FLOAT_EQ(first[1], -0.492126f);
  EXPECT_FLOAT_EQ(first[4], -1.0f);  // normal y
}

TEST(D3DXLoadMeshFromX, TextBinaryAndCompressedEncodingsAgree) {
  Loaded text = load(readTestFile("test_cube_text.x"));
  ASSERT_EQ(text.result, D3D_OK);
  const std::vector<uint8_t> reference = vertexBytes(*text.mesh);
  for (const char* file : {"test_cube_binary.x", "test_cube_compressed.x"}) {
    SCOPED_TRACE(file);
    Loaded other = load(readTestFile(file));
    ASSERT_EQ(other.result, D3D_OK);
    EXPECT_EQ(indexValues(*other.mesh), indexValues(*text.mesh));
    EXPECT_EQ(attributeValues(*other.mesh), attributeValues(*text.mesh));
    const std::vector<uint8_t> bytes = vertexBytes(*other.mesh);
    ASSERT_EQ(bytes.size(), reference.size());
    for (size_t i = 0; i < bytes.size(); i += 4) {
      float a, b;
      std::memcpy(&a, &reference[i], 4);
      std::memcpy(&b, &bytes[i], 4);
      EXPECT_NEAR(a, b, 1e-6f) << "float " << i / 4;
    }
    EXPECT_FLOAT_EQ(other.material(0).MatD3D.Power, text.material(0).MatD3D.Power);
  }
}

// A valid text file exercising what the reader interprets; the malformed cases edit it.
const std::string kTextFixture = R"(xof 0303txt 0032
// comment
template Vector {
 <3d82ab5e-62da-11cf-ab39-0020af71e433>
 FLOAT x; FLOAT y; FLOAT z;
}
Material Blue { 0;0;1;1;; 5; 1;1;1;; 0;0;0;; }
Frame Root {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
 Mesh quad {
  4;
  0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;
  2;
  4;0,1,2,3;, 3;0,2,1;;
  MeshNormals { 2; 0;0;1;, 0;0;-1;; 2; 4;0,0,0,0;, 3;1,1,1;; }
  MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0;1;; }
  MeshVertexColors { 1; 0;1;1;1;1;;; }
  MeshMaterialList {
   2; 1; 1;;
   Material Red { 1;0;0;1;; 10; 1;1;1;; 0;0;0;; TextureFilename { "tex\\red \"1\".dds"; } }
   { Blue }
  }
  SkinWeights { "Bone"; 2; 0, 3; 0.5, 0.5; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
 }
}
)";

TEST(D3DXLoadMeshFromX, SplitsVerticesByNormalAndFansPolygons) {
  Loaded x = load(kTextFixture);
  ASSERT_EQ(x.result, D3D_OK);
  // The quad becomes two triangles; the back triangle uses corners 0, 2, 1 with the second
  // normal, so those three positions get a copy each.
  EXPECT_EQ(x.mesh->GetNumFaces(), 3u);
  ASSERT_EQ(x.mesh->GetNumVertices(), 7u);
  EXPECT_EQ(indexValues(*x.mesh), (std::vector<uint32_t>{0, 1, 2, 0, 2, 3, 4, 5, 6}));
  std::vector<float> v(7 * 8);
  std::memcpy(v.data(), vertexBytes(*x.mesh).data(), v.size() * 4);
  EXPECT_EQ(std::vector<float>(v.begin() + 8 * 2, v.begin() + 8 * 3),
            (std::vector<float>{1, 1, 0, 0, 0, 1, 1, 1}));
  EXPECT_EQ(std::vector<float>(v.begin() + 8 * 5, v.begin() + 8 * 6),
            (std::vector<float>{1, 1, 0, 0, 0, -1, 1, 1}));
  // One face id for three faces: the last id repeats. Material 1 is the referenced Blue.
  EXPECT_EQ(attributeValues(*x.mesh), (std::vector<DWORD>{1, 1, 1}));
  ASSERT_EQ(x.numMaterials, 2u);
  EXPECT_STREQ(x.material(0).pTextureFilename, "tex\\red \"1\".dds");
  EXPECT_EQ(x.material(1).pTextureFilename, nullptr);
  EXPECT_FLOAT_EQ(x.material(1).MatD3D.Diffuse.b, 1.0f);
  EXPECT_FLOAT_EQ(x.material(1).MatD3D.Power, 5.0f);
}

TEST(D3DXLoadMeshFromX, AppliesNestedFrameTransforms) {
  // Outer: scale x by 2, then move by (10, 0, 0); inner: quarter turn about z (x -> y).
  const std::string file = R"(xof 0303txt 0032
Frame Outer {
 FrameTransformMatrix { 2,0,0,0, 0,1,0,0, 0,0,1,0, 10,0,0,1;; }
 Frame Inner {
  Mesh { 3; 1;0;0;, 0;1;0;, 0;0;1;; 1; 3;0,1,2;;
   MeshNormals { 1; 0.70710678;0.70710678;0;; 1; 3;0,0,0;; }
  }
  FrameTransformMatrix { 0,1,0,0, -1,0,0,0, 0,0,1,0, 0,0,0,1;; }
 }
}
)";
  Loaded x = load(file);
  ASSERT_EQ(x.result, D3D_OK);
  ASSERT_EQ(x.numMaterials, 0u);
  std::vector<float> v(3 * 8);
  std::memcpy(v.data(), vertexBytes(*x.mesh).data(), v.size() * 4);
  const float positions[3][3] = {{10, 1, 0}, {8, 0, 0}, {10, 0, 1}};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(v[8 * i + j], positions[i][j], 1e-6f) << i << j;
    // Normals follow the inverse transpose: (-1, 1, 0) scaled by (1/2, 1, 1), renormalised.
    EXPECT_NEAR(v[8 * i + 3], -1 / std::sqrt(5.0f), 1e-6f);
    EXPECT_NEAR(v[8 * i + 4], 2 / std::sqrt(5.0f), 1e-6f);
    EXPECT_NEAR(v[8 * i + 5], 0, 1e-6f);
  }
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << "fixture lacks " << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(D3DXLoadMeshFromX, RejectsMalformedText) {
  std::string deep = "xof 0303txt 0032\n";
  for (int i = 0; i < 100; ++i) deep += "Frame {\n";
  deep += "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n";
  for (int i = 0; i < 100; ++i) deep += "}\n";

  const std::string& base = kTextFixture;
  const struct {
    const char* what;
    std::string file;
  } cases[] = {
      {"empty", ""},
      {"short header", "xof 0303txt 00"},
      {"bad magic", replaced(base, "xof ", "xqf ")},
      {"bad float size", replaced(base, "txt 0032", "txt 0016")},
      {"unknown encoding", replaced(base, "txt 0032", "zip 0032")},
      {"vertex count beyond the data", replaced(base, "  4;\n", "  4000000000;\n")},
      {"negative vertex count", replaced(base, "  4;\n", "  -4;\n")},
      {"face index past the vertices", replaced(base, "4;0,1,2,3;,", "4;0,1,2,4;,")},
      {"face of two corners", replaced(base, "3;0,2,1;;", "2;0,2;;")},
      {"malformed number", replaced(base, "1;0;0;,", "1;0.0.0;,")},
      {"normal faces fewer than faces",
       replaced(base, "2; 4;0,0,0,0;, 3;1,1,1;;", "1; 4;0,0,0,0;;")},
      {"normal face of other size", replaced(base, "3;1,1,1;;", "4;1,1,1,1;;")},
      {"normal index past the normals", replaced(base, "3;1,1,1;;", "3;1,1,2;;")},
      {"texture coordinates fewer than vertices",
       replaced(base, "MeshTextureCoords { 4;", "MeshTextureCoords { 3;")},
      {"material id past the list", replaced(base, "2; 1; 1;;", "2; 1; 2;;")},
      {"more face ids than faces", replaced(base, "2; 1; 1;;", "2; 3; 1,1,1;;")},
      {"fewer materials than announced", replaced(base, "2; 1; 1;;", "3; 1; 1;;")},
      {"unknown material reference", replaced(base, "{ Blue }", "{ Green }")},
      {"skin weight past the vertices", replaced(base, "0, 3;", "0, 4;")},
      {"unterminated string", replaced(base, "\"Bone\";", "\"Bone;")},
      {"missing closing brace", base.substr(0, base.rfind('}'))},
      {"no mesh at all", "xof 0303txt 0032\nMaterial M { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }\n"},
      {"frames nested 100 deep", deep},
      {"skin weights out of range (real file)", readTestFile("malformed_skinweights_oob.x")},
  };
  ASSERT_EQ(load(base).result, D3D_OK);
  for (const auto& c : cases) {
    EXPECT_EQ(load(c.file).result, D3DXERR_INVALIDDATA) << c.what;
  }
}

// Writes the binary encoding token by token.
struct BinaryWriter {
  std::string bytes = "xof 0303bin 0032";
  void word(uint16_t v) { bytes.append({char(v & 0xFF), char(v >> 8)}); }
  void dword(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(char((v >> (8 * i)) & 0xFF));
  }
  void name(const std::string& s) {
    word(1);
    dword(uint32_t(s.size()));
    bytes += s;
  }
  void ints(const std::vector<uint32_t>& values) {
    word(6);
    dword(uint32_t(values.size()));
    for (uint32_t v : values) dword(v);
  }
  void floats(const std::vector<float>& values) {
    word(7);
    dword(uint32_t(values.size()));
    for (float v : values) {
      uint32_t bits;
      std::memcpy(&bits, &v, 4);
      dword(bits);
    }
  }
};

// A binary file with one mesh of `triangles` triangles over a strip of vertices.
std::string binaryStrip(uint32_t triangles) {
  BinaryWriter w;
  w.name("Mesh");
  w.word(10);
  std::vector<float> positions;
  for (uint32_t i = 0; i < triangles + 2; ++i) {
    positions.insert(positions.end(), {float(i / 2), float(i % 2), 0});
  }
  w.ints({triangles + 2});
  w.floats(positions);
  std::vector<uint32_t> faces = {triangles};
  for (uint32_t i = 0; i < triangles; ++i) faces.insert(faces.end(), {3, i, i + 1, i + 2});
  w.ints(faces);
  w.word(11);
  return w.bytes;
}

// The MSZIP form of a binary file: blocks of at most blockSize bytes, each deflated with the
// previous block as its history, as the compressed encoding's writers do.
std::string compressed(const std::string& binary, size_t blockSize) {
  std::string out = "xof 0303bzip0032";
  BinaryWriter sizes;
  sizes.bytes.clear();
  sizes.dword(uint32_t(binary.size()));
  out += sizes.bytes;
  std::string previous;
  for (size_t at = 16; at < binary.size(); at += blockSize) {
    const std::string block = binary.substr(at, blockSize);
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    if (!previous.empty()) {
      deflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(previous.data()),
                           uInt(previous.size()));
    }
    std::string packed(deflateBound(&stream, uLong(block.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
    stream.avail_in = uInt(block.size());
    stream.next_out = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_out = uInt(packed.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    BinaryWriter head;
    head.bytes.clear();
    head.word(uint16_t(block.size()));
    head.word(uint16_t(packed.size() + 2));
    out += head.bytes + "CK" + packed;
    previous = block;
  }
  return out;
}

// Empty lists between tokens once recursed one level each: a few hundred thousand of them
// overflowed the stack. The file still has no mesh and is refused.
TEST(D3DXLoadMeshFromX, ManyEmptyBinaryListsDoNotRecurse) {
  BinaryWriter w;
  for (int i = 0; i < 400000; ++i) w.ints({});
  Loaded result = load(w.bytes);
  EXPECT_NE(result.result, D3D_OK);
}

TEST(D3DXLoadMeshFromX, BinaryAndCompressedFixtures) {
  const std::string binary = binaryStrip(300);
  Loaded plain = load(binary);
  ASSERT_EQ(plain.result, D3D_OK);
  EXPECT_EQ(plain.mesh->GetNumFaces(), 300u);
  EXPECT_EQ(plain.mesh->GetNumVertices(), 302u);

  // Repetitive data makes later blocks refer back into earlier ones.
  const std::string packed = compressed(binary, 1024);
  ASSERT_GT(binary.size(), 3 * 1024u);
  Loaded inflated = load(packed);
  ASSERT_EQ(inflated.result, D3D_OK);
  EXPECT_EQ(vertexBytes(*inflated.mesh), vertexBytes(*plain.mesh));
  EXPECT_EQ(indexValues(*inflated.mesh), indexValues(*plain.mesh));

  const size_t firstBlock = 16 + 4;
  std::string badMagic = packed;
  badMagic[firstBlock + 4] = 'X';
  std::string lyingTotal = packed;
  lyingTotal[16] = char(lyingTotal[16] + 1);
  std::string lyingBlockSize = packed;
  lyingBlockSize[firstBlock + 2] = char(0xFF), lyingBlockSize[firstBlock + 3] = char(0x7F);
  std::string lyingPlainSize = packed;
  lyingPlainSize[firstBlock] = char(lyingPlainSize[firstBlock] + 1);
  std::string corruptDeflate = packed;
  corruptDeflate[firstBlock + 6] = char(0xFF);
  std::string listTooLong = binary;
  listTooLong[16 + 2 + 4 + 4 + 2 + 2 + 3] = char(0x7F);  // count of the first integer list
  std::string nameTooLong = binary;
  nameTooLong[16 + 2 + 3] = char(0x7F);  // length of the first name
  BinaryWriter unknownToken;
  unknownToken.word(99);

  const struct {
    const char* what;
    std::string file;
  } cases[] = {
      {"block without CK", badMagic},
      {"total size that the blocks do not make", lyingTotal},
      {"block longer than the file", lyingBlockSize},
      {"block inflating to another size", lyingPlainSize},
      {"corrupt deflate data", corruptDeflate},
      {"compressed file cut short", packed.substr(0, packed.size() - 10)},
      {"number list longer than the file", listTooLong},
      {"name longer than the file", nameTooLong},
      {"unknown token", unknownToken.bytes},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(load(c.file).result, D3DXERR_INVALIDDATA) << c.what;
  }
}

// Every prefix of a file either fails cleanly or, when it ends after all of the file's mesh
// data, loads the same mesh: a cut never yields part of a mesh.
void expectPrefixesSafe(const std::string& file, size_t step) {
  Loaded full = load(file);
  ASSERT_EQ(full.result, D3D_OK);
  size_t succeeded = 0;
  for (size_t length = 0; length < file.size(); length += step) {
    Loaded cut = load(file.substr(0, length));
    if (FAILED(cut.result)) continue;
    ++succeeded;
    EXPECT_EQ(cut.mesh->GetNumFaces(), full.mesh->GetNumFaces()) << "prefix " << length;
    EXPECT_EQ(cut.mesh->GetNumVertices(), full.mesh->GetNumVertices()) << "prefix " << length;
  }
  EXPECT_EQ(load(file.substr(0, file.size() / 2)).result, D3DXERR_INVALIDDATA);
  EXPECT_LT(succeeded, 8u);  // only cuts in the last few closing braces can still load
}

TEST(D3DXLoadMeshFromX, TruncatedFilesFailCleanly) {
  for (const char* file : {"test_cube_text.x", "test_cube_binary.x", "test_cube_compressed.x",
                           "kwxport_test_cubewithvcolors.x"}) {
    SCOPED_TRACE(file);
    expectPrefixesSafe(readTestFile(file), 1);
  }
  SCOPED_TRACE("Testwuson.X");
  const std::string large = readTestFile("Testwuson.X");
  expectPrefixesSafe(large, 9973);

  // The same through the file interface.
  TempFolder folder;
  const std::string path = folder.write("cut.x", large.substr(0, large.size() / 3));
  EXPECT_EQ(load({}, kSystemMem, path.c_str()).result, D3DXERR_INVALIDDATA);
}

TEST(D3DXLoadMeshFromX, RandomByteDamageNeverEscapes) {
  // Damaged copies must load or fail cleanly; under ASan this also proves no read goes astray.
  std::mt19937 random(20240501);
  for (const char* file : {"test_cube_text.x", "test_cube_binary.x", "test_cube_compressed.x"}) {
    const std::string original = readTestFile(file);
    for (int round = 0; round < 400; ++round) {
      std::string damaged = original;
      const int hits = 1 + int(random() % 4);
      for (int i = 0; i < hits; ++i) damaged[random() % damaged.size()] = char(random() & 0xFF);
      Loaded x = load(damaged);
      if (SUCCEEDED(x.result)) {
        for (uint32_t index : indexValues(*x.mesh)) ASSERT_LT(index, x.mesh->GetNumVertices());
      }
    }
  }
}

TEST(D3DXLoadMeshFromX, ArgumentsFilesAndIndexWidth) {
  EXPECT_EQ(load({}, kSystemMem, "/nonexistent/folder/model.x").result, D3DERR_NOTFOUND);
  ID3DXMesh* mesh = nullptr;
  EXPECT_EQ(D3DXLoadMeshFromXA(nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr, &mesh),
            D3DERR_INVALIDCALL);
  const std::string path = kTestData + "test_cube_text.x";
  EXPECT_EQ(
      D3DXLoadMeshFromXA(path.c_str(), 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
      D3DERR_INVALIDCALL);
  EXPECT_EQ(
      D3DXLoadMeshFromXInMemory(nullptr, 10, 0, nullptr, nullptr, nullptr, nullptr, nullptr, &mesh),
      D3DERR_INVALIDCALL);
  // Only the mesh output is required.
  ASSERT_EQ(D3DXLoadMeshFromX(path.c_str(), 0, nullptr, nullptr, nullptr, nullptr, nullptr, &mesh),
            D3D_OK);
  MeshPtr owned(mesh);

  // 65536 vertices need 32-bit indices: refused without D3DXMESH_32BIT, loaded with it.
  std::ostringstream big;
  big << "xof 0303txt 0032\nMesh {\n65536;\n";
  for (int i = 0; i < 65536; ++i) big << i % 256 << ";" << i / 256 << ";0;,";
  big << ";\n1;\n3;0,1,65535;;\n}\n";
  EXPECT_EQ(load(big.str(), kSystemMem).result, D3DERR_INVALIDCALL);
  Loaded wide = load(big.str(), kSystemMem | D3DXMESH_32BIT);
  ASSERT_EQ(wide.result, D3D_OK);
  EXPECT_EQ(indexValues(*wide.mesh), (std::vector<uint32_t>{0, 1, 65535}));
}

}  // namespace
