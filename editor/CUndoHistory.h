// The editor's undo history. An edit opens a step (nested edits join the outermost one) and,
// before it changes anything, records a memento of each object it is about to touch; a step
// keeps only those, never the scene. Undo and redo exchange a step's mementos with the live
// objects, so the same objects come back. A new step drops the steps that were undone. The
// history keeps within a memory bound by dropping its oldest steps; the newest step is kept
// whatever its size.
//
// The history also numbers the model's states: every step the history keeps has the number of
// the state before it and after it, so a window that compares the number with its value at the
// last save sees "no unsaved edits" again when the edits are undone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "editor/UndoMementos.h"

class ZCamera;
class ZCorvane;
class ZFrame;
class ZGeometry;
class ZMaterial;

class CUndoHistory {
 public:
  static constexpr size_t kDefaultMemoryLimit = size_t(512) << 20;

  // state: the number of the model's state, which the history moves on every step, undo and redo.
  explicit CUndoHistory(uint64_t& stateNumber) : state(stateNumber) {}

  // Keeps an open step closed when it goes out of scope.
  class Scope {
   public:
    explicit Scope(CUndoHistory& owner) : history(&owner) {}
    Scope(Scope&& other) noexcept : history(other.history) { other.history = nullptr; }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    Scope& operator=(Scope&&) = delete;
    ~Scope() {
      if (history != nullptr) history->close();
    }

   private:
    CUndoHistory* history;
  };

  // Opens a step named `name` (joined when one is open) and gives the state a new number.
  // close() ends the outermost: a step that recorded nothing is dropped and the state keeps its
  // number from before.
  void open(const std::string& name);
  void close();
  [[nodiscard]] Scope scope(const std::string& name) {
    open(name);
    return Scope(*this);
  }
  bool isOpen() const { return depth > 0; }

  // Each records the object once per step, before its first change; nothing without an open
  // step. Null objects are ignored.
  void recordFrame(ZFrame* frame);
  void recordGeometry(ZGeometry* geometry, bool arrays);
  void recordMaterial(ZMaterial* material);
  void recordCamera(ZCamera* camera);
  void recordLights(ZCorvane& renderer);
  template <typename T>
  void recordValue(T& value) {
    if (firstTouch(&value, kValue)) add(std::make_unique<CValueMemento<T>>(value));
  }
  // The parts of every frame, mesh and material of the sub-tree as it is now.
  enum SubtreeParts : unsigned {
    kFrames = 1,
    kMeshFields = 2,
    kMeshArrays = 4,  // with the fields
    kMaterials = 8,
    kTree = kFrames | kMeshFields | kMeshArrays,
  };
  void recordSubtree(ZFrame* top, unsigned parts);

  bool canUndo() const { return cursor > 0 && depth == 0; }
  bool canRedo() const { return cursor < steps.size() && depth == 0; }
  // The name of the step undo or redo would take; empty when there is none.
  std::string undoName() const;
  std::string redoName() const;
  // False when there is nothing to take (or a step is still open).
  bool undo(SUndoRefresh& refresh);
  bool redo(SUndoRefresh& refresh);
  // Forgets every step (the model they refer to is gone).
  void clear();

  void setMemoryLimit(size_t bytes);
  size_t memoryUsed() const { return used; }
  size_t stepCount() const { return steps.size(); }

 private:
  enum Kind : uintptr_t {
    kFrame,
    kGeometryFields,
    kGeometryArrays,
    kMaterial,
    kCamera,
    kLights,
    kValue
  };
  struct Step {
    std::string name;
    std::vector<std::unique_ptr<IUndoMemento>> mementos;
    uint64_t stateBefore = 0;
    uint64_t stateAfter = 0;
    size_t bytes = 0;
  };
  struct TouchHash {
    size_t operator()(const std::pair<const void*, Kind>& key) const {
      return std::hash<const void*>()(key.first) ^ size_t(key.second);
    }
  };

  // True the first time this step touches the object as `kind`.
  bool firstTouch(const void* object, Kind kind);
  void add(std::unique_ptr<IUndoMemento> memento);
  // Exchanges every memento of the step (they hold disjoint state, so order does not matter).
  static void exchange(Step& step, SUndoRefresh& refresh);
  void keepWithinLimit();

  uint64_t& state;
  uint64_t lastState = 0;  // numbers are never given twice
  std::vector<Step> steps;
  size_t cursor = 0;  // steps before it can be undone, the others redone
  size_t used = 0;
  size_t limit = kDefaultMemoryLimit;
  int depth = 0;
  Step current;
  std::unordered_set<std::pair<const void*, Kind>, TouchHash> touched;
};
