#include "common/module_path.h"

namespace corvanta {

ModulePathParts SplitModulePath(TextView module_path) {
    const size_t slash = module_path.find_last_of(u'\\');
    TextView folder = slash == TextView::npos ? TextView{} : module_path.substr(0, slash);
    const TextView file = slash == TextView::npos ? module_path : module_path.substr(slash + 1);
    // "C:" alone would mean the drive's current folder, not its root.
    if (folder.size() == 2 && folder[1] == u':') {
        folder = module_path.substr(0, 3);
    }
    const size_t dot = file.find_last_of(u'.');
    return {Text(folder), Text(dot == TextView::npos ? file : file.substr(0, dot))};
}

}  // namespace corvanta
