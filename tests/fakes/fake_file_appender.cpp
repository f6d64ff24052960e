#include "fakes/fake_file_appender.h"

namespace corvanta {

namespace {

class FakeAppendingFile : public AppendingFile {
  public:
    FakeAppendingFile(FakeFileAppender& owner, Text path)
        : owner_(owner), path_(std::move(path)), size_(owner.files[path_].size()) {}

    uint64_t Size() const override { return size_; }

    void Append(std::string_view bytes) override {
        if (bytes.size() > owner_.free_bytes) {
            throw Error(u"Writing " + path_ + u": There is not enough space on the disk.");
        }
        owner_.free_bytes -= bytes.size();
        owner_.files[path_] += bytes;
    }

  private:
    FakeFileAppender& owner_;
    Text path_;
    uint64_t size_;
};

}  // namespace

std::unique_ptr<AppendingFile> FakeFileAppender::Open(const Text& path) {
    const size_t slash = path.find_last_of(u"\\/");
    if (slash == Text::npos || folders.count(path.substr(0, slash)) == 0) {
        throw Error(u"Opening " + path + u": The system cannot find the path specified.");
    }
    if (folders.count(path) != 0) {
        throw Error(u"Opening " + path + u": Access is denied.");
    }
    if (held.count(path) != 0) {
        throw Error(u"Opening " + path +
                    u": The process cannot access the file because it is being used by another process.");
    }
    return std::make_unique<FakeAppendingFile>(*this, path);
}

}  // namespace corvanta
