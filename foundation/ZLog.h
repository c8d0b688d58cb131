// The one diagnostics function of the program. Lines are written exactly as their format
// string says (no prefix, no time stamp) to standard output, which ZDebugLog reopens onto the
// log file; a tool may send them to another stream instead.
#pragma once

#include <cstdio>

void zlog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Stream diagnostics go to; null means standard output. Returns the previous stream.
// The caller keeps ownership of the stream.
FILE* zlogSetStream(FILE* stream);
FILE* zlogStream();
// Off: zlog returns at once, formatting nothing, as for a tool run without -v. On by default.
void zlogSetEnabled(bool on);
// Callers that build costly lines (several per vertex) ask first.
bool zlogEnabled();
// Flushes what was logged so far.
void zlogFlush();
