// Saving over odd targets and failing saves: the reason reaches the message, the old file
// stays, links are followed, modes kept, stale temporary files cleared.
#include "job/safe_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>

#include "base/cp932.h"
#include "job/file_stamp.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "tests/fake_files.h"
#include "tests/temp_dir.h"

namespace zarvel::job {
namespace {

namespace fs = std::filesystem;
using testing::FakeFiles;
using testing::ReadBytes;
using testing::UseFiles;
using testing::WriteBytes;

mode_t ModeOf(const std::string& p) {
  struct stat st {};
  EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The message the user reads, as UTF-8.
std::string WriteMessage(const std::string& path, const FileResult& r) {
  return base::Cp932ToUtf8(CannotWriteMessage(path, r.Reason()));
}

class SaveTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return temp.File(name); }
  std::string Expected(const std::string& name, const char* reason) const {
    return "[×]" + temp.path().string() + "/\n" + name + "\nには書き込めません\n" + reason;
  }

  testing::TempDir temp{"zarvel5-save"};
  std::unique_ptr<optimiser::OptimiserRecords> records =
      std::make_unique<optimiser::OptimiserRecords>();
  JobForm form{*records};
  FakeFiles files;
};

TEST_F(SaveTest, AFailingWriteSyncOrRenameNamesItsReasonAndKeepsTheOldFile) {
  const std::string path = Path("job.zv5");
  WriteBytes(path, "old job");
  UseFiles use(files);
  struct Case {
    FakeFiles::Fail fail;
    int error;
    std::size_t bytes_before;
    const char* reason;
  };
  for (const Case& c :
       {Case{FakeFiles::Fail::kWrite, ENOSPC, 100, "ディスクに空きがありません"},
        Case{FakeFiles::Fail::kWrite, EDQUOT, 0, "ディスクの使用量の上限を超えています"},
        Case{FakeFiles::Fail::kSync, EIO, 0, "入出力エラーが起きました"},
        Case{FakeFiles::Fail::kRename, EXDEV, 0, "別のファイルシステムへは移せません"},
        Case{FakeFiles::Fail::kRename, ENOTRECOVERABLE, 0, "システムエラー ENOTRECOVERABLE"}}) {
    files.FailOn(c.fail, c.error, {}, c.bytes_before);
    form.SetDataModified(true);
    const FileResult r = WriteJobFile(form, path);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.Error(), c.error);
    EXPECT_EQ(WriteMessage(path, r), Expected("job.zv5", c.reason));
    EXPECT_TRUE(form.DataModified());
    EXPECT_EQ(ReadBytes(path), "old job");
    EXPECT_EQ(Names(temp.path()), std::vector<std::string>{"job.zv5"});  // no temporary left
  }
  files.FailOn(FakeFiles::Fail::kNothing, 0);
  ASSERT_TRUE(WriteJobFile(form, path));
  EXPECT_FALSE(form.DataModified());
  EXPECT_EQ(ReadBytes(path),
            ReadBytes(ZARVEL5_SOURCE_DIR "/tests/data/fresh_job.zv5") +
                "CbMeisaiC = 0\r\nCbMeisaiL = 0\r\nRgLabelSheet = 0\r\nCbMeisaiS = 0\r\n");
}

TEST_F(SaveTest, WriteProtectedFilesAreRefusedEvenForRoot) {
  const std::string path = Path("job.zv5");
  WriteBytes(path, "old job");
  ::chmod(path.c_str(), 0444);
  const FileResult r = WriteJobFile(form, path);
  EXPECT_FALSE(r);
  EXPECT_EQ(WriteMessage(path, r), Expected("job.zv5", "書き込みが禁止されたファイルです"));
  EXPECT_EQ(ReadBytes(path), "old job");
  EXPECT_EQ(ModeOf(path), 0444u);
  // A file its owner may write is saved, whoever else may not.
  ::chmod(path.c_str(), 0600);
  EXPECT_TRUE(WriteJobFile(form, path));
}

TEST_F(SaveTest, LinksAreSavedThroughInTheTargetsFolder) {
  fs::create_directories(temp.path() / "real");
  const std::string real = Path("real/job.zv5");
  const std::string link = Path("link.zv5");
  WriteBytes(real, "old job");
  fs::create_symlink("real/job.zv5", link);  // relative to the link's folder
  UseFiles use(files);
  ASSERT_TRUE(WriteJobFile(form, link));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadBytes(real), ReadBytes(link));
  EXPECT_NE(ReadBytes(real), "old job");
  ASSERT_EQ(files.temps.size(), 1u);
  EXPECT_EQ(fs::path(files.temps[0]).parent_path(), temp.path() / "real");  // atomic there
  ASSERT_EQ(files.renames.size(), 1u);
  EXPECT_EQ(files.renames[0].second, Path("real/job.zv5"));

  // A chain of links, and one that names a file not there yet.
  fs::create_symlink(link, Path("second.zv5"));
  ASSERT_TRUE(WriteJobFile(form, Path("second.zv5")));
  EXPECT_TRUE(fs::is_symlink(Path("second.zv5")));
  fs::create_symlink(temp.path() / "real" / "new.zv5", Path("dangling.zv5"));
  ASSERT_TRUE(WriteJobFile(form, Path("dangling.zv5")));
  EXPECT_TRUE(fs::is_regular_file(temp.path() / "real" / "new.zv5"));
  EXPECT_TRUE(fs::is_symlink(Path("dangling.zv5")));

  // A loop is refused with its reason.
  fs::create_symlink("loop_b.zv5", Path("loop_a.zv5"));
  fs::create_symlink("loop_a.zv5", Path("loop_b.zv5"));
  const FileResult loop = WriteJobFile(form, Path("loop_a.zv5"));
  EXPECT_EQ(WriteMessage(Path("loop_a.zv5"), loop),
            Expected("loop_a.zv5", "シンボリックリンクが多すぎるか循環しています"));
}

TEST_F(SaveTest, FoldersFifosAndDevicesAreNeverReplaced) {
  const std::string fifo = Path("fifo.zv5");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const FileResult r = WriteJobFile(form, fifo);  // would block if it were opened
  EXPECT_EQ(WriteMessage(fifo, r), Expected("fifo.zv5", "通常のファイルではありません"));
  EXPECT_TRUE(fs::is_fifo(fifo));
  fs::create_symlink("fifo.zv5", Path("to_fifo.zv5"));
  EXPECT_FALSE(WriteJobFile(form, Path("to_fifo.zv5")));
  EXPECT_TRUE(fs::is_fifo(fifo));

  fs::create_directories(temp.path() / "folder.zv5");
  EXPECT_EQ(WriteMessage(Path("folder.zv5"), WriteJobFile(form, Path("folder.zv5"))),
            Expected("folder.zv5", "通常のファイルではありません"));

  // A device of our own making (the null device's numbers), where we may make one.
  const std::string device = Path("device.zv5");
  if (::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0) {
    EXPECT_FALSE(WriteJobFile(form, device));
    EXPECT_TRUE(fs::is_character_file(device));
  }
  std::string content;
  EXPECT_EQ(base::Cp932ToUtf8(ReadWholeFile(fifo, content, 100).Reason()),
            "通常のファイルではありません");
}

TEST_F(SaveTest, NewFilesFollowTheUmaskAndOldOnesKeepTheirMode) {
  const mode_t saved_mask = ::umask(027);
  ASSERT_TRUE(WriteJobFile(form, Path("new.zv5")));
  EXPECT_EQ(ModeOf(Path("new.zv5")), 0640u);
  ::umask(0);
  ASSERT_TRUE(WriteJobFile(form, Path("open.zv5")));
  EXPECT_EQ(ModeOf(Path("open.zv5")), 0666u);
  ::umask(022);
  for (mode_t mode : {0600u, 0640u, 0755u}) {
    ::chmod(Path("new.zv5").c_str(), mode);
    ASSERT_TRUE(WriteJobFile(form, Path("new.zv5")));
    EXPECT_EQ(ModeOf(Path("new.zv5")), mode);
  }
  ::umask(saved_mask);
}

TEST_F(SaveTest, StaleTemporaryFilesOfOurNamingGoAtTheNextSave) {
  const std::string path = Path("job.zv5");
  for (const char* name : {".zv5-save-Ab12Cd", ".zv5-save-zzzzzz", ".zv5-save-locked",
                           ".zv5-save-toolong1", "x.zv5-save-ABCDEF", ".zv5-save-ab_12c"})
    WriteBytes(Path(name), "left over");
  // A save in progress holds its temporary file locked: it stays.
  const int held = ::open(Path(".zv5-save-locked").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  ASSERT_TRUE(WriteJobFile(form, path));
  EXPECT_EQ(Names(temp.path()),
            (std::vector<std::string>{".zv5-save-ab_12c", ".zv5-save-locked", ".zv5-save-toolong1",
                                      "job.zv5", "x.zv5-save-ABCDEF"}));
  ::close(held);
  ASSERT_TRUE(WriteJobFile(form, path));
  EXPECT_FALSE(fs::exists(Path(".zv5-save-locked")));
}

TEST_F(SaveTest, ReadingSaysWhyAndRefusesOverlongJobs) {
  const std::string path = Path("job.zv5");
  ASSERT_TRUE(WriteJobFile(form, path));
  UseFiles use(files);
  files.FailOn(FakeFiles::Fail::kOpen, EACCES, path);
  form.SetDataModified(true);
  const FileResult r = OpenJobFile(form, path);
  EXPECT_EQ(
      base::Cp932ToUtf8(CannotReadMessage(path, r.Reason())),
      "[×]" + temp.path().string() + "/\njob.zv5\nは読み込めません\nアクセスが許可されていません");
  EXPECT_TRUE(form.DataModified());  // the unsaved job is still there, and still unsaved

  // Beyond the size a job file may have: refused, not cut.
  const std::string big = Path("big.zv5");
  const std::string head = "[FmUnit1]\r\nedSiro = 9\r\n";
  WriteBytes(big, head + std::string(kMaxJobFileSize + 1 - head.size(), '\n'));
  const FileResult too_big = OpenJobFile(form, big);
  EXPECT_EQ(base::Cp932ToUtf8(too_big.Reason()), "ファイルが大きすぎます");
  EXPECT_EQ(form.Field(run::JobField::kKerf).Text(), "  3");
  fs::resize_file(big, kMaxJobFileSize);
  EXPECT_TRUE(OpenJobFile(form, big));
  EXPECT_EQ(form.Field(run::JobField::kKerf).Text(), "9");
  EXPECT_FALSE(form.DataModified());
}

TEST(JobExtension, ZV5InAnyCaseIsKept) {
  EXPECT_EQ(WithJobExtension("/a/JOB.ZV5"), "/a/JOB.ZV5");
  EXPECT_EQ(WithJobExtension("/a/job.Zv5"), "/a/job.Zv5");
  EXPECT_EQ(WithJobExtension("/a/job.zv5"), "/a/job.zv5");
  EXPECT_EQ(WithJobExtension("/a/job.txt"), "/a/job.zv5");
  EXPECT_EQ(WithJobExtension("/a/job"), "/a/job.zv5");
  EXPECT_EQ(WithJobExtension("/a.b/job"), "/a.b/job.zv5");  // a point in a folder is no extension
  EXPECT_EQ(WithJobExtension("/a/job.zv55"), "/a/job.zv5");
  EXPECT_EQ(WithJobExtension("job.ZV5"), "job.ZV5");
}

TEST(JobExtension, SaveNamesKeepEveryPointOfTheirOwn) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a/北町：H-200×100×5.5×8 小梁", "/a/北町：H-200×100×5.5×8 小梁.zv5"},
      {"/a/C-100×50×5×7.5", "/a/C-100×50×5×7.5.zv5"},
      {"/a/job.ZV5", "/a/job.ZV5"},
      {"/a/job.zV5", "/a/job.zV5"},
      {"/a/job.txt", "/a/job.txt.zv5"},
      {"/a/job", "/a/job.zv5"},
      {"zv5", "zv5.zv5"},
  };
  for (const auto& [chosen, saved] : cases) EXPECT_EQ(SaveName(chosen), saved) << chosen;
}

TEST(FileStamps, OnlyAnotherContentIsAChange) {
  testing::TempDir dir("zarvel5-stamp");
  const std::string path = dir.File("job.zv5");
  testing::WriteBytes(path, "caption\r\n[FmUnit1]\r\n");
  const FileStamp read = StampOfFile(path, kMaxJobFileSize);
  ASSERT_TRUE(read.exists);
  EXPECT_EQ(read, StampOfContent(path, "caption\r\n[FmUnit1]\r\n"));
  const struct {
    const char* name;
    const char* bytes;  // null: the file removed
    bool changed;
  } cases[] = {
      {"the same bytes again", "caption\r\n[FmUnit1]\r\n", false},
      {"one byte other, same size", "caption\r\n[FmUnit2]\r\n", true},
      {"longer", "caption\r\n[FmUnit1]\r\nedSiro = 5\r\n", true},
      {"removed", nullptr, true},
  };
  for (const auto& c : cases) {
    if (c.bytes != nullptr) {
      testing::WriteBytes(path, c.bytes);
    } else {
      std::filesystem::remove(path);
    }
    EXPECT_EQ(ChangedSince(read, StampOfFile(path, kMaxJobFileSize)), c.changed) << c.name;
  }
}

}  // namespace
}  // namespace zarvel::job
