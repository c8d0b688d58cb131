// glTF 2.0 export (.gltf with its .bin, or .glb) through tinygltf, made to come back through the
// glTF importer without losing what the simulation needs.
//
// Each frame is a node with its local matrix; each geometry a node of its own (marked in its
// extras) under its frame's node, holding one mesh of one primitive. Positions, normals, both
// texture channels and tangents are attributes, binormals the application attribute
// "_BINORMAL". Materials carry their colours, double-sidedness, alpha mode and stage-0 picture in
// glTF's fields, and everything else in extras under "zmf". The model's root is the scene's only
// node (marked "root"), the cameras and the header lighting are in the scene's extras. Axes as
// the importer reads them: z negated, windings turned.
#pragma once

#include <string>

struct LoadedModel;

struct SGltfExportOptions {
  bool binary = false;        // .glb
  bool copyTextures = false;  // pictures copied beside the output, referenced by bare name
};

// Writes model to path (every file under its final name in a folder beside it first); false,
// logged, with nothing left behind when it cannot.
bool writeGLTF(const std::string& path, const LoadedModel& model,
               const SGltfExportOptions& options);
