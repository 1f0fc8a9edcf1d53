#pragma once
// Copies are flushed to stable storage in groups: one file-system sync for the group, then
// each still-open descriptor's own write-back error is collected, then the group is
// published in order. One fsync per file would make a card of small files several times
// slower to ingest; it is still what a file system whose sync does not reach its storage
// gets (see flush_path.h).

#include "failure.h"
#include "staged_file.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace oakvane {

// One copy written under staging names: the image and, when the run makes one, its sidecar.
struct PendingCopy {
    StagedFile image;
    StagedFile sidecar;      // inactive when the image gets no sidecar
    std::string final_path;  // the name wanted for the image
    bool card_sidecar = false;  // the card holds the image's own sidecar
    // The hash the image must read back as once flushed; "" when it is not read back.
    std::string expected_hash;
    // The image's content hash and the card file it comes from, for the tree's history; ""
    // in a plan.
    std::string hash;
    std::string card_path;
    bool converted = false;  // the image is a DNG of the converter's, not a card file's copy
};

class PublishBatch {
public:
    // publish gives a flushed copy its final names.
    using Publisher = std::function<Status(PendingCopy&)>;
    // check looks at a flushed copy before it is published (see read_back.h).
    using Checker = std::function<Status(PendingCopy&)>;
    explicit PublishBatch(Publisher publish, Checker check = {})
        : m_publish(std::move(publish)), m_check(std::move(check)) {}

    // Takes a staged copy of size bytes; flushes the group once it is large enough. After a
    // failure the group's unpublished copies are removed.
    Status add(PendingCopy&& copy, std::uint64_t size);
    // Flushes and publishes every copy taken so far.
    Status flush();
    // On the way out of a failed run only: flushes and checks the copies taken so far
    // without publishing any, so that an earlier copy's failure can outrank a later one's.
    // The batch is spent after it.
    Status check_unpublished();

private:
    // Takes every copy pending into group, flushes and checks them.
    Status settle(std::vector<PendingCopy>& group);
    static Status sync_group(std::vector<PendingCopy>& group);
    Status check_group(std::vector<PendingCopy>& group);

    Publisher m_publish;
    Checker m_check;
    std::vector<PendingCopy> m_pending;
    std::uint64_t m_bytes = 0;
};

// Flushes, checks and publishes one copy on its own.
Status publish_now(PendingCopy&& copy, const PublishBatch::Publisher& publish,
                   const PublishBatch::Checker& check = {});

}  // namespace oakvane
