// What a recording's files hold when writing goes wrong: only complete rows,
// and counts that match them.
#include "cli/recorder/row_file.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "cli/recorder/row_sink.hpp"
#include "cli/temporary_directory.hpp"

namespace velmor::cli {
namespace {

namespace fs = std::filesystem;
using test::Contents;
using test::TemporaryDirectory;

// A file size limit for this process, as a full disk would impose: a write
// past it fails with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previous_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t previous_handler_ = SIG_DFL;
};

// 100 bytes each, numbered.
std::string Row(int n) {
  std::string row = "row " + std::to_string(n) + ",";
  row.resize(99, 'x');
  return row + '\n';
}

TEST(RowFile, RowsReachTheFileInLargeWritesOrWhenAsked) {
  const TemporaryDirectory directory;
  const std::string path = directory.File("rows.csv");
  RowFile file(path, CreateFile(path, false));
  file.Rows() += Row(1);
  EXPECT_FALSE(file.Commit());
  EXPECT_EQ(fs::file_size(path), 0u);
  EXPECT_TRUE(file.Commit(true));
  EXPECT_EQ(Contents(path), Row(1));
  EXPECT_FALSE(file.Commit(true)) << "nothing left to write";
  for (int n = 2; n < 3000; ++n) file.Rows() += Row(n);
  EXPECT_TRUE(file.Commit()) << "300 kB collected";
  EXPECT_EQ(fs::file_size(path), 2999u * 100);
}

TEST(RowFile, AFailedWriteLeavesTheFileEndingWithItsLastCompleteRow) {
  const TemporaryDirectory directory;
  const std::string path = directory.File("rows.csv");
  RowFile file(path, CreateFile(path, false));
  const FileSizeLimit limit(65536);
  for (int n = 0; n < 600; ++n) file.Rows() += Row(n);
  ASSERT_TRUE(file.Commit(true));
  // The next write stops part way into a row at the limit.
  for (int n = 600; n < 1200; ++n) file.Rows() += Row(n);
  try {
    file.Commit(true);
    FAIL() << "the write past the limit succeeded";
  } catch (const WriteError& error) {
    EXPECT_NE(std::string(error.what()).find("cannot write " + path + ": File too large"), std::string::npos)
        << error.what();
  }
  EXPECT_EQ(fs::file_size(path), 600u * 100);
  const std::string contents = Contents(path);
  EXPECT_EQ(contents.substr(contents.size() - 100), Row(599));
  EXPECT_TRUE(file.Rows().empty()) << "the rows that were not written are discarded";
}

TEST(RowFile, AFileThatCannotBeCutBackSaysSo) {
  {
    RowFile full("/dev/full", ::open("/dev/full", O_WRONLY | O_CLOEXEC));
    full.Rows() = Row(1);
    try {
      full.Commit(true);
      FAIL() << "a write to /dev/full succeeded";
    } catch (const WriteError& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find("cannot write /dev/full: No space left on device"), std::string::npos) << message;
      EXPECT_NE(message.find("cannot cut it back to complete rows"), std::string::npos) << message;
    }
  }
  const TemporaryDirectory directory;
  EXPECT_THROW(CreateFile(directory.File("missing/rows.csv"), false), WriteError);
}

// Another recorder's file, a file the user keeps, a symlink planted in the
// output folder: creating never writes through any of them.
TEST(RowFile, CreatingNeverWritesThroughWhatIsThere) {
  const TemporaryDirectory directory;
  const std::string kept = directory.File("kept.csv");
  std::ofstream(kept) << "kept\n";
  const std::string link = directory.File("link.csv");
  fs::create_symlink(kept, link);
  const std::string dangling = directory.File("dangling.csv");
  fs::create_symlink(directory.File("nowhere.csv"), dangling);
  for (const std::string& path : {kept, link, dangling}) {
    try {
      ::close(CreateFile(path, false));
      FAIL() << "created " << path << " over what was there";
    } catch (const FileExists& error) {
      EXPECT_EQ(std::string(error.what()), path + " already exists");
    }
  }
  EXPECT_EQ(Contents(kept), "kept\n");
  EXPECT_FALSE(fs::exists(directory.File("nowhere.csv")));

  // Overwriting replaces the symlink itself; its target stays as it was.
  for (const std::string& path : {link, dangling}) {
    RowFile file(path, CreateFile(path, true));
    file.Rows() = "new\n";
    file.Commit(true);
    EXPECT_FALSE(fs::is_symlink(path));
    EXPECT_EQ(Contents(path), "new\n");
  }
  EXPECT_EQ(Contents(kept), "kept\n");
  EXPECT_FALSE(fs::exists(directory.File("nowhere.csv")));
}

}  // namespace
}  // namespace velmor::cli
