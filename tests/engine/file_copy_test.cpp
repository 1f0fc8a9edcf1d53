#include "file_copy.h"
#include "fs_util.h"
#include "recording_host.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <thread>
#include <unistd.h>

using namespace oakvane;

namespace {

class FileCopy : public ::testing::Test {
protected:
    UniqueFd open_out(const std::string& name)
    {
        return UniqueFd(::open((dir / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666));
    }
    test::TempDir dir;
    test::StepRun step;
    test::RecordingHost& host = step.host;
};

}  // namespace

TEST_F(FileCopy, CopiesFilesInStopCheckedBlocks)
{
    const std::string content(2 * 1048576 + 17, 'z');
    test::write_file(dir / "in", content);
    UniqueFd in(::open((dir / "in").c_str(), O_RDONLY));
    UniqueFd out = open_out("out");
    const CopyOutcome outcome = copy_data(step.run, in.get(), out.get());
    EXPECT_EQ(outcome.status, CopyStatus::done);
    EXPECT_EQ(outcome.written, content.size());
    EXPECT_EQ(test::read_file(dir / "out"), content);
    EXPECT_GE(host.stop_polls, 3);  // one before every block, and one before the end
}

TEST_F(FileCopy, FallsBackToTheBufferWhereTheKernelCannotCopy)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    UniqueFd read_end(fds[0]);
    std::thread writer([fd = fds[1]] {
        const std::string chunk(300000, 'p');
        for (int i = 0; i < 5; ++i)
            (void)!::write(fd, chunk.data(), chunk.size());
        ::close(fd);
    });
    UniqueFd out = open_out("out");
    const CopyOutcome outcome = copy_data(step.run, read_end.get(), out.get());
    writer.join();
    EXPECT_EQ(outcome.status, CopyStatus::done);
    EXPECT_EQ(test::read_file(dir / "out"), std::string(1500000, 'p'));
}

TEST_F(FileCopy, ReadAndWriteFaultsAreToldApart)
{
    UniqueFd folder(::open(dir.str().c_str(), O_RDONLY | O_DIRECTORY));
    UniqueFd out = open_out("out");
    CopyOutcome outcome = copy_data(step.run, folder.get(), out.get());
    EXPECT_EQ(outcome.status, CopyStatus::read_failed);
    EXPECT_EQ(outcome.err, EISDIR);

    test::write_file(dir / "in", "data");
    UniqueFd in(::open((dir / "in").c_str(), O_RDONLY));
    UniqueFd full(::open("/dev/full", O_WRONLY));
    outcome = copy_data(step.run, in.get(), full.get());
    EXPECT_EQ(outcome.status, CopyStatus::write_failed);
    EXPECT_EQ(outcome.err, ENOSPC);
}
