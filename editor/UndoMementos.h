// The mementos of the undo history: each keeps the state one object had before an edit, and
// exchanges it with the live object's state on undo and again on redo. The live object itself
// is never replaced, so pointers and protocol handles stay valid across undo and redo.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/ZMatrix.h"
#include "platform/d3d9/d3d9types.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

class ZCamera;
class ZCorvane;
class ZFrame;

// What the meshes and the device need after mementos were exchanged: device copies made again
// from arrays that came back (in place where only vertices changed), and meshes linked back into
// a frame compiled when they are not.
struct SUndoRefresh {
  std::vector<ZGeometry*> verticesChanged;
  std::vector<ZGeometry*> facesChanged;
  std::vector<ZFrame*> relinked;
  bool lights = false;  // the ambient colour goes to the device again
};

class IUndoMemento {
 public:
  virtual ~IUndoMemento() = default;
  // Exchanges the kept state with the live one: the same call undoes and redoes.
  virtual void exchange(SUndoRefresh& refresh) = 0;
  // Bytes the memento keeps, for the history's memory bound.
  virtual size_t bytes() const = 0;
};

// Any copyable value held in place: the reference list, the flag list, the camera list (the
// pointers), the sky box pointer.
template <typename T>
class CValueMemento : public IUndoMemento {
 public:
  explicit CValueMemento(T& value) : live(value), kept(value) {}
  void exchange(SUndoRefresh&) override { std::swap(live, kept); }
  size_t bytes() const override {
    if constexpr (requires { kept.capacity(); }) {
      return sizeof *this + kept.capacity() * sizeof(typename T::value_type);
    } else {
      return sizeof *this;
    }
  }

 private:
  T& live;
  T kept;
};

// A frame's own fields and links: matrix, name, flags, level of detail, its mesh list (order
// included) and its children.
class CFrameMemento : public IUndoMemento {
 public:
  explicit CFrameMemento(ZFrame& frame);
  void exchange(SUndoRefresh& refresh) override;
  size_t bytes() const override;

 private:
  ZFrame& live;
  std::vector<ZGeometry*> geometries;
  std::vector<ZFrame*> children;
  ZFrame* parent;
  std::string name;
  ZMatrix matrix;
  float lodIn, lodOut;
  bool hasLOD, visible, moveable;
  int32_t renderMode;
};

// A mesh's own fields: name, material, variables and flags.
class CGeometryFieldsMemento : public IUndoMemento {
 public:
  explicit CGeometryFieldsMemento(ZGeometry& geometry);
  void exchange(SUndoRefresh& refresh) override;
  size_t bytes() const override;

 private:
  ZGeometry& live;
  std::string name;
  ZMaterial* material;
  std::vector<SGeometryVar> vars;
  bool transparent, castShadow, visible;
  float lodIn, lodOut;
  int32_t generateTangents, sortKey;
};

// A mesh's vertices and faces with what is derived from them (bounds); the device copy is made
// again from them after the exchange.
class CGeometryArraysMemento : public IUndoMemento {
 public:
  explicit CGeometryArraysMemento(ZGeometry& geometry);
  void exchange(SUndoRefresh& refresh) override;
  size_t bytes() const override;

 private:
  ZGeometry& live;
  SVertexList vertices;
  SFaceList faces;
  ZVector center, bboxMin, bboxMax;
  float radius;
};

// A material's colours, blending and depth settings, effect with its variables, and the values
// of its eight stages (the stage records themselves stay, so shared stages stay shared).
class CMaterialMemento : public IUndoMemento {
 public:
  explicit CMaterialMemento(ZMaterial& material);
  void exchange(SUndoRefresh& refresh) override;
  size_t bytes() const override;

 private:
  ZMaterial& live;
  std::array<ZMaterialStage, 8> stages;
  D3DMATERIAL9 d3dMaterial;
  ID3DXEffect* effect;
  std::array<D3DXHANDLE, ZMaterial::kSemanticCount> semanticHandles;
  std::string effectName;
  std::vector<std::unique_ptr<SEffectVariable>> effectVars;
  float textureFactor;
  int32_t alphaDestBlend, alphaSrcBlend;
  uint8_t alphaRef;
  bool doubleFace, useZBuffer, forceNoDepthWrite, materialFlag, alphaBlend, alphaTest;
};

// A track camera's place and settings.
class CCameraMemento : public IUndoMemento {
 public:
  explicit CCameraMemento(ZCamera& camera);
  void exchange(SUndoRefresh& refresh) override;
  size_t bytes() const override { return sizeof *this + name.capacity(); }

 private:
  ZCamera& live;
  ZVector position, heading, up;
  float fov, nearPlane, farPlane, minFov, maxFov, maxDist;
  int32_t tag;
  bool fixed;
  std::string name;
};

// Every light's device description and the ambient colour.
class CLightsMemento : public IUndoMemento {
 public:
  explicit CLightsMemento(ZCorvane& engine);
  void exchange(SUndoRefresh& refresh) override;
  size_t bytes() const override { return sizeof *this + lights.capacity() * sizeof(D3DLIGHT9); }

 private:
  ZCorvane& renderer;
  std::vector<D3DLIGHT9> lights;
  std::array<float, 3> ambient;
};
