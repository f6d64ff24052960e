#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "common/text.h"
#include "platform/file_appender.h"

namespace corvanta {

// Files as a map from path to bytes, in folders that exist only when listed. A path in `held` is open in
// another program that shares no writing (a spreadsheet); `free_bytes` is what the disk still takes.
class FakeFileAppender : public FileAppender {
  public:
    std::unique_ptr<AppendingFile> Open(const Text& path) override;

    std::set<Text> folders = {u"C:\\logs"};
    std::map<Text, std::string> files;
    std::set<Text> held;
    size_t free_bytes = 1 << 30;
};

}  // namespace corvanta
