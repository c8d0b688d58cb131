// zmftool trackgen: a random stage from the track builder, saved as a model.
#pragma once

#include <string>
#include <vector>

// trackgen OUT.zmt|OUT.zmf [--seed N] [--length METRES] [--notes FILE]; the exit status.
int generateTrack(const std::vector<std::string>& args);
