#include "apps/zmftool/ModelCheck.h"

#include "apps/zmftool/JsonWriter.h"
#include "editor/CHeadlessEditHost.h"
#include "formats/ZModelFormat.h"
#include "foundation/ZDataFolder.h"
#include "foundation/ZFileName.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

constexpr const char* kCheckUsage = "usage: zmftool check car|interior|tyre MODEL [--json]\n";

std::string runCheck(CEditInterface& editor, const std::string& check) {
  if (check == "car") return editor.checkCar();
  if (check == "interior") return editor.checkCarInt();
  return editor.checkTire();
}

}  // namespace

int checkModel(const std::vector<std::string>& arguments) {
  std::vector<std::string> args = arguments;
  const auto jsonFlag = std::find(args.begin(), args.end(), "--json");
  const bool json = jsonFlag != args.end();
  if (json) args.erase(jsonFlag);
  if (args.size() != 2 || (args[0] != "car" && args[0] != "interior" && args[0] != "tyre")) {
    std::fputs(kCheckUsage, stderr);
    return 2;
  }
  const std::string& model = args[1];
  if (modelFormatOf(model) == ModelFormat::unknown) {
    std::fprintf(stderr, "zmftool: %s: not a model file the editor reads\n", model.c_str());
    return 2;
  }
  if (!canOpenForReading(model)) {
    std::fprintf(stderr, "zmftool: cannot read %s\n", model.c_str());
    return 1;
  }
  const std::filesystem::path data = findDataFolder();
  if (data.empty()) {
    std::fputs("zmftool: no data folder with shaders/ found (set ZMFEDIT_HOME)\n", stderr);
    return 1;
  }
  std::error_code error;
  const std::string path = std::filesystem::absolute(model, error).string();
  std::string message;
  {
    CHeadlessEditHost host(data);
    host.editor->openModel(path);
    message = runCheck(*host.editor, args[0]);
  }
  const bool ok = message.rfind("Error", 0) != 0;
  if (json) {
    JsonWriter out(stdout);
    out.beginObject();
    out.field("check", args[0]);
    out.field("ok", ok);
    out.field("message", message);
    out.endObject();  // ends the line
  } else {
    std::printf("%s\n", message.c_str());
  }
  return ok ? 0 : 1;
}
