#include "job/settings.h"

#include <gtest/gtest.h>

#include <fstream>

#include "base/cp932.h"
#include "job/profile.h"
#include "job/recent_files.h"
#include "tests/temp_dir.h"

namespace zarvel::job {
namespace {

TEST(Profile, ReadsAndWritesKeysWithoutRegardToCase) {
  testing::TempDir dir("zarvel5-ini");
  const std::string path = dir.File("a.ini");
  EXPECT_EQ(ReadProfileString(path, "S", "K", "@@@.@@@"), "@@@.@@@");  // no file
  std::ofstream(path) << "[Other]\r\nLastFile=no\r\n[zarvel]\nlastfile = /a/b.zv5 \n";
  EXPECT_EQ(ReadProfileString(path, "ZARVEL", "LastFile", "x"), "/a/b.zv5");
  EXPECT_EQ(ReadProfileString(path, "zarvel", "Missing", "x"), "x");
  ASSERT_TRUE(WriteProfileString(path, "Zarvel", "LASTFILE", "/c.zv5"));
  ASSERT_TRUE(WriteProfileString(path, "Zarvel", "Other", "1"));
  ASSERT_TRUE(WriteProfileString(path, "New", "K", "v"));
  EXPECT_EQ(ReadProfileString(path, "zarvel", "lastfile", "x"), "/c.zv5");
  EXPECT_EQ(ReadProfileString(path, "zarvel", "other", "x"), "1");
  EXPECT_EQ(ReadProfileString(path, "other", "lastfile", "x"), "no");
  EXPECT_EQ(ReadProfileString(path, "new", "k", "x"), "v");
}

TEST(Profile, CaseFoldsOnlyLettersOutsideTwoByteCharacters) {
  // "Ｕ" is 0x82 0x74 and "５" 0x82 0x54: folding the trail byte 't' would make them equal.
  const std::string content =
      base::Utf8ToCp932("[ZarvelＵ]\r\nLastFile=u\r\n[zARVEL５]\r\nlastFILE=5\r\n");
  EXPECT_EQ(ProfileValue(content, base::Utf8ToCp932("Zarvel５"), "LastFile", "x"), "5");
  EXPECT_EQ(ProfileValue(content, base::Utf8ToCp932("ZARVELＵ"), "LASTFILE", "x"), "u");
  EXPECT_EQ(ProfileValue(content, base::Utf8ToCp932("Zarvelｕ"), "LastFile", "x"), "x");
  // ASCII letters after a two-byte character still fold ("表" ends in a backslash).
  EXPECT_EQ(ProfileValue(base::Utf8ToCp932("[表t]\nK=1\n"), base::Utf8ToCp932("表T"), "k", "x"),
            "1");
}

TEST(Settings, FolderAndLastFile) {
  testing::TempDir dir("zarvel5-settings");
  setenv("ZARVEL5_SETTINGS_DIR", dir.File("deep/er").c_str(), 1);
  EnsureSettingsFolder();
  EXPECT_EQ(SettingsFolder(), dir.File("deep/er") + "/");
  EXPECT_EQ(ReadLastFile(), kNoFile);
  WriteLastFile("/jobs/北町.zv5");
  EXPECT_EQ(ReadLastFile(), "/jobs/北町.zv5");
  const std::string on_disk = testing::ReadBytes(SettingsFilePath());
  EXPECT_NE(on_disk.find(base::Lit("[Zarvel５]")), std::string::npos);  // CP932 on disk
  EXPECT_NE(on_disk.find(base::Lit("北町")), std::string::npos);
  WriteLastFile("/jobs/\xF0\x9F\x94\xA9.zv5");  // not CP932: nothing damaged is written
  EXPECT_EQ(ReadLastFile(), "");
  unsetenv("ZARVEL5_SETTINGS_DIR");
}

TEST(RecentFilesList, TopDropsAndRewrites) {
  testing::TempDir dir("zarvel5-recent");
  std::vector<std::string> jobs;
  for (int i = 0; i < 12; ++i) {
    jobs.push_back(dir.File("j" + std::to_string(i) + ".zv5"));
    std::ofstream(jobs.back()) << "x";
  }
  RecentFiles recent(dir.File("ReOpen1"));
  recent.Load();
  EXPECT_EQ(recent.WorkCaption(), "-");
  for (const std::string& j : jobs) recent.Update(j);
  EXPECT_EQ(recent.Items()[0], jobs[11]);
  EXPECT_EQ(recent.Items()[9], jobs[2]);
  recent.Update(jobs[5]);
  EXPECT_EQ(recent.Items()[0], jobs[5]);
  EXPECT_EQ(recent.Items()[1], jobs[11]);
  recent.Update(dir.File("missing.zv5"));  // a missing file is not listed
  EXPECT_EQ(recent.Items()[0], jobs[5]);

  RecentFiles again(dir.File("ReOpen1"));
  again.Load();
  EXPECT_EQ(again.Items(), recent.Items());
  again.Clear();
  EXPECT_EQ(again.WorkCaption(), "（なし）");
  EXPECT_FALSE(again.ClearVisible());
  RecentFiles empty(dir.File("ReOpen1"));
  empty.Load();
  EXPECT_TRUE(empty.Items()[0].empty());
}

}  // namespace
}  // namespace zarvel::job
