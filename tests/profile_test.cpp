#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "TestUtil.h"
#include "platform/profile/Profile.h"
#include "platform/profile/Settings.h"

using lunavue::profile::ParseProfileInt;
using lunavue::profile::ProfileFile;
using lunavue::test::ReadAll;
using lunavue::test::TempDir;
using lunavue::test::WriteAll;

TEST(Profile, ReadsIntegersLikeTheProfileFunctions) {
    TempDir dir;
    std::string path = dir.File("a.ini");
    WriteAll(path,
             "junk line\n[Tovrin]\r\nloop =  5\r\n  WINDOWSIZE=-1 trailing\r\n"
             "x_position=+12abc\nword=abc\nempty=\nhuge=99999999999\nneg=-99999999999\n"
             "loop=7\n[tovrin]\nDirectDraw=1\n[Other]\nloop=9");
    ProfileFile f(path);
    EXPECT_EQ(f.ReadInt("TOVRIN", "Loop", 0), 5);         // case-blind, first key wins
    EXPECT_EQ(f.ReadInt("Tovrin", "windowsize", 1), -1);  // digits stop at the first other char
    EXPECT_EQ(f.ReadInt("Tovrin", "x_position", 0), 12);
    EXPECT_EQ(f.ReadInt("Tovrin", "word", 3), 3);  // no number at all reads as the default
    EXPECT_EQ(f.ReadInt("Tovrin", "empty", 4), 4);
    EXPECT_EQ(f.ReadInt("Tovrin", "huge", 0), INT32_MAX);
    EXPECT_EQ(f.ReadInt("Tovrin", "neg", 0), INT32_MIN);
    EXPECT_EQ(f.ReadInt("Tovrin", "DirectDraw", 0), 0);  // the second [tovrin] is not read
    EXPECT_EQ(f.ReadInt("Other", "loop", 0), 9);         // last line without a line break
    EXPECT_EQ(f.ReadInt("Missing", "loop", 42), 42);
    EXPECT_EQ(ProfileFile(dir.File("none.ini")).ReadInt("Tovrin", "loop", 8), 8);
    EXPECT_EQ(ParseProfileInt("\t 2147483647"), 2147483647);
    EXPECT_EQ(ParseProfileInt("-"), std::nullopt);
}

TEST(Profile, WritesInPlaceAndKeepsEveryOtherLine) {
    TempDir dir;
    std::string path = dir.File("a.ini");
    WriteAll(path, "; comment\r\n[Tovrin]\r\nLoop=1\r\nfoo bar\r\n\r\n[Marlux]\r\nx=1\r\n\r\n");
    ProfileFile f(path);
    ASSERT_TRUE(f.WriteInt("tovrin", "loop", -1));
    ASSERT_TRUE(f.WriteInt("Tovrin", "WindowSize", 3));
    ASSERT_TRUE(f.WriteInt("Settings", "PreviewPages", 2));
    EXPECT_EQ(ReadAll(path),
              "; comment\r\n[Tovrin]\r\nLoop=1\r\nfoo bar\r\n\r\n[Marlux]\r\nx=1\r\n\r\n")
        << "written once, at the flush";
    ASSERT_TRUE(f.Flush());
    EXPECT_EQ(ReadAll(path),
              "; comment\r\n[Tovrin]\r\nloop=-1\r\nfoo bar\r\nWindowSize=3\r\n\r\n[Marlux]\r\n"
              "x=1\r\n\r\n[Settings]\r\nPreviewPages=2\r\n");
    EXPECT_EQ(f.ReadInt("Tovrin", "loop", 0), -1);
    EXPECT_EQ(f.ReadInt("TOVRIN", "windowsize", 0), 3);

    f.EraseSection("MARLUX");
    ASSERT_TRUE(f.Flush());
    EXPECT_EQ(ReadAll(path),
              "; comment\r\n[Tovrin]\r\nloop=-1\r\nfoo bar\r\nWindowSize=3\r\n\r\n[Settings]\r\n"
              "PreviewPages=2\r\n");

    // A file without a final line break, and a missing file.
    WriteAll(path, "[A]\nk=1");
    ProfileFile g(path);
    ASSERT_TRUE(g.WriteString("A", "j", "x y"));
    ASSERT_TRUE(g.WriteInt("B", "k", 2));
    ASSERT_TRUE(g.Flush());
    EXPECT_EQ(ReadAll(path), "[A]\nk=1\nj=x y\n[B]\nk=2\n");
    ProfileFile fresh(dir.File("new.ini"));
    ASSERT_TRUE(fresh.WriteInt("Tovrin", "type", 1558));
    ASSERT_TRUE(fresh.Flush());
    EXPECT_EQ(ReadAll(dir.File("new.ini")), "[Tovrin]\ntype=1558\n");
    // A value that would break the line is not stored at all.
    EXPECT_FALSE(fresh.WriteString("Recent File List", "File1", "/a\n[Tovrin]\nloop=1"));
    EXPECT_FALSE(fresh.WriteString("Tovrin\r", "x", "1"));
    EXPECT_EQ(fresh.ReadString("Recent File List", "File1"), std::nullopt);
}

TEST(Profile, SurvivesBinaryAndVeryLongLines) {
    TempDir dir;
    std::string path = dir.File("a.ini");
    std::string junk("\0\xff\xfe[\x01=\x02\n", 9);
    std::string longLine(200000, 'z');
    WriteAll(path, junk + longLine + "\n[Tovrin]\nloop=1\n" + junk);
    ProfileFile f(path);
    EXPECT_EQ(f.ReadInt("Tovrin", "loop", 0), 1);
    ASSERT_TRUE(f.WriteInt("Tovrin", "loop", 0));
    ASSERT_TRUE(f.Flush());
    EXPECT_EQ(ReadAll(path), junk + longLine + "\n[Tovrin]\nloop=0\n" + junk);
}

TEST(Profile, UnwritableFolderLeavesTheOldFileIntact) {
    if (geteuid() == 0) {
        // root ignores folder permissions; use a path whose folder does not exist instead.
        ProfileFile f("/nonexistent-folder/x.ini");
        EXPECT_TRUE(f.WriteInt("Tovrin", "loop", 1));
        EXPECT_FALSE(f.Flush());
        return;
    }
    TempDir dir;
    std::string path = dir.File("a.ini");
    WriteAll(path, "[Tovrin]\nloop=1\n");
    chmod(dir.Path().c_str(), 0500);
    ProfileFile f(path);
    EXPECT_TRUE(f.WriteInt("Tovrin", "loop", 0));
    EXPECT_FALSE(f.Flush());
    chmod(dir.Path().c_str(), 0700);
    EXPECT_EQ(ReadAll(path), "[Tovrin]\nloop=1\n");
}

TEST(Profile, ReplacesTheFileAtomically) {
    TempDir dir;
    std::string path = dir.File("a.ini");
    WriteAll(path, "[Tovrin]\nloop=1\n");
    struct stat before {};
    stat(path.c_str(), &before);
    ProfileFile f(path);
    ASSERT_TRUE(f.WriteInt("Tovrin", "loop", 0));
    ASSERT_TRUE(f.Flush());
    struct stat after {};
    stat(path.c_str(), &after);
    // A new file was renamed over the old one, and no temporary file is left behind.
    EXPECT_NE(before.st_ino, after.st_ino);
    int files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.Path())) {
        ++files;
    }
    EXPECT_EQ(files, 1);
}

// A linked settings file is updated through the link; a read-only one is left alone; a write
// that runs into the file size limit fails without a signal and without leftovers.
TEST(Profile, LinksReadOnlyFilesAndFailedWrites) {
    TempDir dir;
    const std::string target = dir.File("real.ini");
    const std::string link = dir.File("link.ini");
    WriteAll(target, "[Tovrin]\nloop=1\n");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    {
        ProfileFile f(link);
        f.WriteInt("Tovrin", "loop", 0);
        ASSERT_TRUE(f.Flush());
    }
    EXPECT_EQ(ReadAll(target), "[Tovrin]\nloop=0\n");
    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link is still a link";

    const std::string locked = dir.File("locked.ini");
    WriteAll(locked, "[Tovrin]\nloop=1\n");
    chmod(locked.c_str(), 0444);
    if (geteuid() != 0) {
        ProfileFile f(locked);
        f.WriteInt("Tovrin", "loop", 0);
        EXPECT_FALSE(f.Flush());
        EXPECT_EQ(ReadAll(locked), "[Tovrin]\nloop=1\n");
    }

    // In a child process limited to 1 KB files: the flush fails, the old file stays whole.
    const std::string big = dir.File("big.ini");
    WriteAll(big, "[Tovrin]\nloop=1\n" + std::string(500, ';') + "\n");
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);  // as the programs do
        struct rlimit limit {
            1024, 1024
        };
        setrlimit(RLIMIT_FSIZE, &limit);
        ProfileFile f(big);
        f.WriteString("Tovrin", "junk", std::string(5000, 'x'));
        _exit(f.Flush() ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_EQ(ReadAll(big).substr(0, 16), "[Tovrin]\nloop=1\n");
    int files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 4) << "no temporary file is left behind";
}

TEST(Settings, ChoosesTheFileBesideTheExecutable) {
    using lunavue::ChooseSettingsPath;
    EXPECT_EQ(ChooseSettingsPath("/opt/x/Player.exe", nullptr), "/opt/x/Player.ini");
    EXPECT_EQ(ChooseSettingsPath("/opt/x/Player.bin", ""), "/opt/x/Player.ini");
    EXPECT_EQ(ChooseSettingsPath("/usr/bin/lunavue", nullptr), "/usr/bin/lunavue.ini");
    EXPECT_EQ(ChooseSettingsPath("/usr/my.dir/lunavue", nullptr), "/usr/my.dir/lunavue.ini");
    EXPECT_EQ(ChooseSettingsPath("/a/b.c", nullptr), "/a/b.c.ini");
    EXPECT_EQ(ChooseSettingsPath("/usr/bin/lunavue", "/tmp/mine.ini"), "/tmp/mine.ini");
    // An installed program whose folder the user cannot write keeps the user's settings in
    // the user's own folder. (As root, checked as another user in a child process.)
    lunavue::test::TempDir home;
    chmod(home.Path().c_str(), 0777);
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
        _exit(ChooseSettingsPath("/usr/bin/lunavue", nullptr) == home.File("lunavue/lunavue.ini")
                  ? 0
                  : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(Settings, NegativeValuesRoundTrip) {
    TempDir dir;
    lunavue::SetSettingsFile(dir.File("s.ini"));
    lunavue::WriteSetting(lunavue::settings::kWindowSize, -1);
    lunavue::WriteSetting(lunavue::settings::kXPosition, -32000);
    EXPECT_EQ(lunavue::ReadSetting(lunavue::settings::kWindowSize), -1);
    EXPECT_EQ(lunavue::ReadSetting(lunavue::settings::kXPosition, 5), -32000);
    EXPECT_EQ(lunavue::ReadSetting(lunavue::settings::kAspectCorrect), 0);
    // Values beyond their key's range are clamped when read.
    lunavue::WriteSetting(lunavue::settings::kXPosition, 2000000000);
    lunavue::SettingsFile().WriteString("Tovrin", "WindowSize", "99999999999999999999");
    EXPECT_EQ(lunavue::ReadSetting(lunavue::settings::kXPosition, 5), 1 << 16);
    EXPECT_EQ(lunavue::ReadSetting(lunavue::settings::kWindowSize), 16);
    lunavue::SettingsFile().WriteString("Tovrin", "WindowSize", "-7");
    EXPECT_EQ(lunavue::ReadSetting(lunavue::settings::kWindowSize), -1);
}
