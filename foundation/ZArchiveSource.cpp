#include "foundation/ZArchiveSource.h"

namespace {
ZArchiveSource* installedSource = nullptr;
}

ZArchiveSource::~ZArchiveSource() {
  if (installedSource == this) installedSource = nullptr;
}

ZArchiveSource* setArchiveSource(ZArchiveSource* source) {
  ZArchiveSource* previous = installedSource;
  installedSource = source;
  return previous;
}

ZArchiveSource* archiveSource() { return installedSource; }
