// "zmftool session": a headless editor core driven by command packets, so that every editing
// operation can be scripted. Packet and reply files share one framing: each packet is a 32-bit
// little-endian byte count followed by that many bytes.
#pragma once

#include <string>
#include <vector>

// session [MODEL] [--packets IN|-] [--replies OUT|-] [--save OUT.zmf|OUT.zmt]: 0 when done, 1 when
// the model cannot be loaded or the save fails, 2 for bad usage or a packet file cut short.
int runEditSession(const std::vector<std::string>& args);
