#include <gtest/gtest.h>

#include "TestUtil.h"
#include "app/CommandLine.h"
#include "framework/RecentFileList.h"

using namespace lunavue;

namespace {
struct Recorder : CommandLineTarget {
    std::vector<std::string> queue;
    bool autoPlay = false, closeAtEnd = false, fromCommandLine = false;
    void AppendToQueue(const std::string& n) override { queue.push_back(n); }
    void SetAutoPlay() override { autoPlay = true; }
    void SetCloseAtEnd() override { closeAtEnd = true; }
    void SetFromCommandLine() override { fromCommandLine = true; }
};

Recorder Parse(std::vector<std::string> args) {
    Recorder r;
    CTovrinCommandLineInfo info(r);
    ParseCommandLine(args, info);
    return r;
}
}  // namespace

TEST(CommandLine, FlagsAndNames) {
    for (const char* word : {"-play", "/PLAY", "-Play"}) {
        Recorder r = Parse({word});
        EXPECT_TRUE(r.autoPlay) << word;
        EXPECT_TRUE(r.queue.empty());
        EXPECT_FALSE(r.fromCommandLine);
    }
    Recorder plain = Parse({"play"});
    EXPECT_EQ(plain.queue, std::vector<std::string>{"play"});
    EXPECT_FALSE(plain.autoPlay);
    EXPECT_TRUE(plain.fromCommandLine);

    Recorder closeOnly = Parse({"-close"});
    EXPECT_TRUE(closeOnly.closeAtEnd);
    EXPECT_TRUE(closeOnly.queue.empty());

    Recorder mixed =
        Parse({"a.cpk", "-x", "/close", "-", "b c.cpk", "-playx", "/home/m.cpk", "/x"});
    EXPECT_EQ(mixed.queue, (std::vector<std::string>{"a.cpk", "b c.cpk", "/home/m.cpk", "/x"}))
        << "absolute paths are file names";
    EXPECT_TRUE(mixed.closeAtEnd);
    EXPECT_FALSE(mixed.autoPlay);
}

TEST(RecentFiles, KeepsSixMostRecentFirst) {
    RecentFileList list;
    for (int i = 1; i <= 7; ++i) {
        list.Add("/m/" + std::to_string(i) + ".cpk");
    }
    EXPECT_EQ(list.Entries().size(), 6u);
    EXPECT_EQ(list.Entries().front(), "/m/7.cpk");
    EXPECT_EQ(list.Entries().back(), "/m/2.cpk");
    list.Add("/m/4.cpk");  // moves to the top, nothing drops off
    EXPECT_EQ(list.Entries(), (std::vector<std::string>{"/m/4.cpk", "/m/7.cpk", "/m/6.cpk",
                                                        "/m/5.cpk", "/m/3.cpk", "/m/2.cpk"}));
    list.Add("/M/4.cpk");  // another file on a case-sensitive file system
    EXPECT_EQ(list.Entries()[1], "/m/4.cpk");
    list.Remove(0);
    EXPECT_EQ(list.Entries().front(), "/m/4.cpk");
    list.Remove(99);
    EXPECT_EQ(list.Entries().size(), 5u);
}

TEST(RecentFiles, SavesByErasingTheSection) {
    test::TempDir dir;
    profile::ProfileFile f(dir.File("r.ini"));
    test::WriteAll(f.Path(),
                   "[Recent File List]\nFile1=/a.cpk\nFile3=/c.cpk\nFile6=/f.cpk\nFile7=/g.cpk\n"
                   "[Tovrin]\nloop=1\n");
    RecentFileList list;
    list.Load(f);
    EXPECT_EQ(list.Entries(), (std::vector<std::string>{"/a.cpk", "/c.cpk", "/f.cpk"}));
    list.Add("/new.cpk");
    list.Add("/evil\n[Tovrin]\nloop=9.cpk");  // cannot be stored in one line: not kept
    list.Save(f);
    ASSERT_TRUE(f.Flush());
    EXPECT_EQ(test::ReadAll(f.Path()),
              "[Tovrin]\nloop=1\n[Recent File List]\nFile1=/new.cpk\nFile2=/a.cpk\n"
              "File3=/c.cpk\nFile4=/f.cpk\n");
}

TEST(RecentFiles, ShortNamesFitThirtyCharacters) {
    EXPECT_EQ(RecentFileList::ShortName("/m/a.cpk"), "/m/a.cpk");
    std::string s = RecentFileList::ShortName("/home/someone/Movies/collection/intro.cpk");
    EXPECT_LE(s.size(), 30u);
    EXPECT_EQ(s, "/home/someone/.../intro.cpk");
    EXPECT_EQ(RecentFileList::ShortName("/x/" + std::string(40, 'n')), std::string(30, 'n'));
    std::string jp = RecentFileList::ShortName("/home/someone/ムービー/とても長い名前の映画.cpk");
    EXPECT_EQ(jp, "/home/.../とても長い名前の映画.cpk");
}
