#pragma once
// Copies are flushed to stable storage in groups: one file-system sync for the group, then
// fsync on each still-open descriptor to collect that file's own write-back error, then the
// group is published in order. One fsync per file would make a card of small files several
// times slower to ingest.

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
};

class PublishBatch {
public:
    // publish gives a flushed copy its final names.
    using Publisher = std::function<Status(PendingCopy&)>;
    explicit PublishBatch(Publisher publish) : m_publish(std::move(publish)) {}

    // Takes a staged copy of size bytes; flushes the group once it is large enough. After a
    // failure the group's unpublished copies are removed.
    Status add(PendingCopy&& copy, std::uint64_t size);
    // Flushes and publishes every copy taken so far.
    Status flush();

private:
    Publisher m_publish;
    std::vector<PendingCopy> m_pending;
    std::uint64_t m_bytes = 0;
};

// Flushes and publishes one copy on its own.
Status publish_now(PendingCopy&& copy, const PublishBatch::Publisher& publish);

}  // namespace oakvane
