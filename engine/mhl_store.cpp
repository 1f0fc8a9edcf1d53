#include "mhl_store.h"

#include "staged_file.h"
#include "whole_file.h"
#include "text_format.h"

#include <cerrno>
#include <cstdio>

namespace oakvane {

namespace {

// Writes bytes to a staging file in folder and flushes it to stable storage.
Status stage_bytes(DiskWriter& writer, const std::string& folder, std::string_view bytes,
                   StagedFile& file)
{
    if (const int err = writer.stage(folder, file); err != 0)
        return fail("Can't create a file in \"" + shown(folder) + "\"", folder, err);
    if (const int err = write_whole(file.fd(), bytes); err != 0)
        return fail("Can't write the MHL history", file.temp_path(), err);
    if (const int err = file.flush(); err != 0)
        return fail("Write-back error", file.temp_path(), err);
    return {};
}

}  // namespace

Status publish_generation(DiskWriter& writer, const std::string& path, std::string_view bytes)
{
    StagedFile file;
    if (Status staged = stage_bytes(writer, folder_of(path), bytes, file); !staged)
        return staged;
    if (const int err = writer.publish(file, path); err != 0)
        return fail(err == EEXIST ? "MHL generation already there"
                                  : "Can't publish the MHL generation",
                    path, err);
    return writer.sync_folders();
}

Status replace_chain(DiskWriter& writer, const std::string& path, std::string_view bytes)
{
    const std::string folder = folder_of(path);
    StagedFile file;
    if (Status staged = stage_bytes(writer, folder, bytes, file); !staged)
        return staged;
    if (std::rename(file.temp_path().c_str(), path.c_str()) != 0)
        return fail("Can't replace the MHL chain", path, errno);
    file.published();
    writer.note_named(path);
    return writer.sync_folders();
}

}  // namespace oakvane
