#pragma once

#include <set>
#include <vector>

#include "platform/process_launcher.h"

namespace corvanta {

// Knows the files a test names; starting succeeds only for one of them that is not in refused, as
// CreateProcess fails for a path that names no file. Every request is recorded, failed ones included.
class FakeProcessLauncher : public ProcessLauncher {
  public:
    struct Request {
        Text path;
        int show_command;
        bool started;
    };

    bool IsPlainFile(TextView path) const override;
    void Start(TextView program_path, int show_command) override;

    std::set<Text> files;    // plain files; names compare exactly
    std::set<Text> refused;  // files that exist and still cannot be started
    std::vector<Request> requests;
};

}  // namespace corvanta
