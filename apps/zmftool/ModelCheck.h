// "zmftool check": the editor's car, interior and tyre checks on a model, run by the editor core
// without a window.
#pragma once

#include <string>
#include <vector>

// check car|interior|tyre MODEL [--json]: 0 when the model passes, 1 when the check reports an
// error or the model cannot be read, 2 for bad usage.
int checkModel(const std::vector<std::string>& args);
