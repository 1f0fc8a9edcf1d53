#pragma once
// A card that is a folder: a mounted card's DCIM folder, or any folder holding a card's
// files. The folder is resolved once, on the first listing, and held open: everything after
// is read relative to it, so the run reads one card even if the path is pointed elsewhere
// meanwhile, and no link below it is ever followed.

#include "card_dir.h"
#include "card_source.h"
#include "engine.h"

#include <memory>
#include <string>

namespace oakvane {

class FolderSource : public CardSource {
public:
    explicit FolderSource(std::string folder) : m_folder(std::move(folder)) {}

    Status list(const Visitor& visit) override;
    Status read(Run& run, const CardItem& item, ChunkSink& sink) override;
    int file_system_type(unsigned long& type) override;
    const std::string& folder() const override { return m_folder; }

private:
    Status open();

    std::string m_folder;
    posix::CardDir m_dir;
};

// The source request's card is read through: its own source when it brings a way to make
// one, else its card folder as a folder.
std::unique_ptr<CardSource> open_card_source(const RunRequest& request, HostHooks& host);

}  // namespace oakvane
