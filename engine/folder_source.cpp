#include "folder_source.h"

#include "fs_util.h"
#include "run.h"
#include "text_format.h"

#include <cerrno>
#include <sys/vfs.h>
#include <unistd.h>

namespace oakvane {

namespace {

// The listing's own failure keeps the message a card that can't be walked always had.
Status walk_failure(const posix::CardDirFailure& failure)
{
    if (failure.step == posix::CardDirFailure::Step::changed)
        return fail("Card folder changed during the run: \"" + shown(failure.path) + "\"");
    return fail("ftw failed", failure.path, failure.error);
}

// Pushes everything readable from fd into sink through the run's buffer, a stop check
// before every chunk.
Status copy_in_chunks(Run& run, int fd, const CardItem& item, ChunkSink& sink)
{
    if (run.copy_buffer.size() < kCopyBufferSize)
        run.copy_buffer.resize(kCopyBufferSize);
    for (;;) {
        if (run.stop_requested())
            return stopped();
        const ssize_t n = ::read(fd, run.copy_buffer.data(), kCopyBufferSize);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail("read error", item.path, errno);
        if (n == 0)
            return {};
        if (Status written = sink.write(run.copy_buffer.data(), std::size_t(n)); !written)
            return written;
    }
}

}  // namespace

Status FolderSource::open()
{
    if (m_dir.is_open())
        return {};
    if (const int err = m_dir.open(m_folder); err != 0)
        return fail("ftw failed", m_folder, err);
    return {};
}

Status FolderSource::list(const Visitor& visit)
{
    if (Status opened = open(); !opened)
        return opened;
    Status visited;
    posix::CardDirFailure failure;
    const int walked = m_dir.walk(
        [&](const posix::CardDirEntry& e) {
            CardItem item;
            item.path = e.path;
            item.relative = e.relative;
            item.st = e.st;
            item.type = e.type;
            item.level = e.level;
            visited = visit(item);
            return visited ? 0 : 1;
        },
        failure);
    if (walked == -1)
        return walk_failure(failure);
    return visited;
}

Status FolderSource::read(Run& run, const CardItem& item, ChunkSink& sink)
{
    if (Status opened = open(); !opened)
        return opened;
    posix::CardFile file = m_dir.open_file(item.relative, item.st);
    if (file.status == posix::CardFile::Status::changed)
        return fail("Card file changed during the run: \"" + shown(item.path) + "\"");
    if (file.status != posix::CardFile::Status::opened)
        return fail("can't open", item.path, file.error);
    UniqueFd from(file.fd.release());
    if (Status copied = copy_in_chunks(run, from.get(), item, sink); !copied)
        return copied;
    if (from.close() != 0)
        return fail("close", item.path, errno);
    return {};
}

int FolderSource::file_system_type(unsigned long& type)
{
    if (Status opened = open(); !opened)
        return opened.failure().err != 0 ? opened.failure().err : EIO;
    // The file system of the folder held, whatever the path names by now.
    struct statfs info {};
    if (::fstatfs(m_dir.fd(), &info) != 0)
        return errno;
    type = static_cast<unsigned long>(info.f_type);
    return 0;
}

std::unique_ptr<CardSource> open_card_source(const RunRequest& request, HostHooks& host)
{
    if (request.card_source)
        return request.card_source(request.card_folder, host);
    return std::make_unique<FolderSource>(request.card_folder);
}

}  // namespace oakvane
