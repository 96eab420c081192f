// Modes kept by atomic replacement, leftovers of killed writers, and folder safety.
#include "platform/file_safety.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "platform/file_util.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class FileSafetyTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/platform_safety_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    std::string File(const std::string& name) const { return JoinPath(m_dir, name); }
    void Put(const std::string& name, const std::string& text, uint32_t mode = 0644) {
        std::ofstream(File(name), std::ios::binary) << text;
        ASSERT_EQ(::chmod(File(name).c_str(), mode), 0);
    }
    uint32_t ModeOf(const std::string& name) {
        uint32_t mode = 0;
        EXPECT_EQ(FileMode(File(name), &mode), 0);
        return mode;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(m_dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string m_dir;
};

TEST_F(FileSafetyTest, ReplacedFilesKeepTheirModePrivateModesDropOthersBits) {
    // A file the user made group-readable stays so through both ways of replacing it.
    Put("out.txt", "old", 0640);
    ASSERT_EQ(WriteFileAtomic(File("out.txt"), "new"), 0);
    EXPECT_EQ(ModeOf("out.txt"), 0640u);
    {
        CAtomicFileWriter writer;
        ASSERT_EQ(writer.Open(File("out.txt")), 0);
        ASSERT_EQ(writer.Write("streamed", 8), 0);
        ASSERT_EQ(writer.Commit(), 0);
    }
    EXPECT_EQ(ModeOf("out.txt"), 0640u);
    Put("ro.txt", "old", 0444);
    ASSERT_EQ(WriteFileAtomic(File("ro.txt"), "new", 0644), 0);
    EXPECT_EQ(ModeOf("ro.txt"), 0444u);
    // Data meant for the owner alone never keeps group or other bits.
    Put("mail.dat", "old", 0664);
    ASSERT_EQ(WriteFileAtomic(File("mail.dat"), "new", 0600), 0);
    EXPECT_EQ(ModeOf("mail.dat"), 0600u);
    Put("ro.dat", "old", 0444);
    ASSERT_EQ(WriteFileAtomic(File("ro.dat"), "new", 0600), 0);
    EXPECT_EQ(ModeOf("ro.dat"), 0400u);
    // New files get the mode asked for, whatever the umask.
    const mode_t old = ::umask(0);
    ASSERT_EQ(WriteFileAtomic(File("fresh"), "x", 0640), 0);
    ::umask(old);
    EXPECT_EQ(ModeOf("fresh"), 0640u);
}

TEST_F(FileSafetyTest, NextReplacementRemovesWhatAKilledOneLeft) {
    // A writer killed between its write and its commit leaves its temporary file.
    Put("mail.dat", "state", 0600);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CAtomicFileWriter writer;
        if (writer.Open(File("mail.dat"), 0600) == 0 && writer.Write("partial", 7) == 0)
            ::kill(::getpid(), SIGKILL);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(Names().size(), 2u);
    EXPECT_TRUE(IsAtomicTemporaryName(Names()[1], "mail.dat")) << Names()[1];

    // Names that only look alike, a live writer's file and other files stay.
    Put("mail.dat.tmp1234567", "short", 0600);
    Put("mail.dat.tmp1234567z", "not hex", 0600);
    Put("other.dat.tmp0badf00d", "another file's", 0600);
    int held = -1;
    ASSERT_EQ(CreateHeldFile(File("mail.dat.tmpfeedface"), 0600, &held), 0);

    ASSERT_EQ(WriteFileAtomic(File("mail.dat"), "saved", 0600), 0);
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"mail.dat", "mail.dat.tmp1234567", "mail.dat.tmp1234567z",
                                        "mail.dat.tmpfeedface", "other.dat.tmp0badf00d"}));
    std::string data;
    ASSERT_EQ(ReadWholeFile(File("mail.dat"), &data), 0);
    EXPECT_EQ(data, "saved");
    // Once its writer is gone, the held file goes too.
    ::close(held);
    EXPECT_EQ(RemoveAtomicLeftovers(File("mail.dat")), 1);
    EXPECT_FALSE(fs::exists(File("mail.dat.tmpfeedface")));
}

TEST_F(FileSafetyTest, LeftoverSweepRemovesOursAtOnceAndOthersWhenOld) {
    Put("ours.1", "a");
    Put("ours.2", "b");
    int held = -1;
    ASSERT_EQ(CreateHeldFile(File("ours.3"), 0600, &held), 0);
    Put("theirs.new", "c");
    Put("theirs.old", "d");
    const struct timespec old[2] = {{::time(nullptr) - 37 * 3600, 0},
                                    {::time(nullptr) - 37 * 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, File("theirs.old").c_str(), old, 0), 0);
    Put("theirs.read", "e");
    const struct timespec readLately[2] = {{::time(nullptr) - 60, 0},
                                           {::time(nullptr) - 37 * 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, File("theirs.read").c_str(), readLately, 0), 0);
    fs::create_directory(File("ours.dir"));
    fs::create_symlink(File("theirs.old"), File("ours.link"));
    auto ours = [](std::string_view name) { return name.substr(0, 5) == "ours."; };

    // Without an age rule only our own names go.
    EXPECT_EQ(RemoveLeftoverFiles(m_dir, ours, -1), 2);
    EXPECT_EQ(Names(), (std::vector<std::string>{"ours.3", "ours.dir", "ours.link", "theirs.new",
                                                 "theirs.old", "theirs.read"}));
    EXPECT_EQ(RemoveLeftoverFiles(m_dir, ours, 36 * 3600), 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"ours.3", "ours.dir", "ours.link", "theirs.new",
                                                 "theirs.read"}));
    ::close(held);
    EXPECT_EQ(RemoveLeftoverFiles(m_dir, ours, 36 * 3600), 1);
    EXPECT_FALSE(fs::exists(File("ours.3")));
    EXPECT_EQ(RemoveLeftoverFiles(File("missing"), ours, 0), 0);
}

TEST_F(FileSafetyTest, FoldersOthersCanWriteAreNotPrivateOrTemporary) {
    const std::string mine = File("mine");
    ASSERT_EQ(CreateDirectories(mine, 0700), 0);
    EXPECT_TRUE(IsPrivateFolder(mine));
    EXPECT_FALSE(IsPrivateFolder(File("missing")));
    ASSERT_EQ(SetFileMode(mine, 0777), 0);
    EXPECT_FALSE(IsPrivateFolder(mine));
    ASSERT_EQ(SetFileMode(mine, 0770), 0);
    EXPECT_FALSE(IsPrivateFolder(mine));

    const char* saved = std::getenv("TMPDIR");
    const std::string savedValue = saved != nullptr ? saved : "";

    ASSERT_EQ(SetFileMode(mine, 0700), 0);
    setenv("TMPDIR", (mine + "/").c_str(), 1);
    EXPECT_EQ(TemporaryFolder(), mine);
    ASSERT_EQ(SetFileMode(mine, 01777), 0);  // shared, but sticky: others cannot swap files
    EXPECT_EQ(TemporaryFolder(), mine);
    ASSERT_EQ(SetFileMode(mine, 0777), 0);
    EXPECT_NE(TemporaryFolder(), mine);
    setenv("TMPDIR", "relative/folder", 1);
    EXPECT_NE(TemporaryFolder(), "relative/folder");
    if (saved != nullptr)
        setenv("TMPDIR", savedValue.c_str(), 1);
    else
        unsetenv("TMPDIR");

    FileAccess access;
    ASSERT_EQ(GetFileAccess(mine, &access), 0);
    EXPECT_TRUE(access.ownedByMe);
    EXPECT_TRUE(access.isDirectory);
    EXPECT_EQ(access.mode, 0777u);
    EXPECT_EQ(GetFileAccess(File("missing"), &access), ENOENT);
}

}  // namespace
}  // namespace platform
