// Advice for the big arrays of meshes and importers. A big track fills tens of megabytes at
// once; backed by huge pages, that memory faults in 2 MB at a time rather than 4 KB. Only the
// whole huge pages inside the storage are advised, and only where the system offers the advice;
// nothing else changes. Call it on storage reserved but not yet written.
#pragma once

#include <cstddef>
#include <vector>

void adviseHugePages(const void* data, size_t bytes);

template <typename T>
void adviseHugePages(const std::vector<T>& list) {
  adviseHugePages(list.data(), list.capacity() * sizeof(T));
}
