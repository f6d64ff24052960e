#include "fakes/fake_process_launcher.h"

namespace corvanta {

bool FakeProcessLauncher::IsPlainFile(TextView path) const {
    return files.count(Text(path)) != 0;
}

void FakeProcessLauncher::Start(TextView program_path, int show_command) {
    const Text path(program_path);
    const bool exists = files.count(path) != 0;
    const bool ok = exists && refused.count(path) == 0;
    requests.push_back({path, show_command, ok});
    if (!ok) {
        throw Error(u"Starting \"" + path + u"\": " +
                    (exists ? u"Access is denied." : u"The system cannot find the file specified."));
    }
}

}  // namespace corvanta
