// Generated scenes the benchmarks share, so that each measures the same kind of content.
#pragma once

#include <string>

class ZCorvane;
class ZFrame;
class ZGeometry;

// A gently curved grid x grid patch of one-unit side at (x0, z0), with normals: 2 grid^2 faces.
void fillCurvedPatch(ZGeometry& g, float x0, float z0, int grid);

// A track of `meshes` road meshes of side x side vertices, each in a frame of its own, with
// texture coordinates, normals and tangent frames, sharing one material.
ZFrame* makeRoadTrack(ZCorvane& engine, int meshes, int side);

// An ASE scene of `objects` road patches of side x side vertices laid along the track, with
// texture coordinates and per-corner normals, in the file's Z-up axes (about 1.2 MB a patch of
// side 40). False when the file cannot be written.
bool writeAseRoads(const std::string& path, int objects, int side);
