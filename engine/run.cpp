#include "run.h"

#include "dirlist.h"
#include "file_kinds.h"
#include "text_format.h"

#include <algorithm>
#include <cstring>

namespace oakvane {

std::string Failure::text() const
{
    if (err == 0)
        return message;
    std::string text = message;
    if (!path.empty())
        text.append(": ").append(shown(path));
    return text.append(": ").append(std::strerror(err));
}

Run::Run(const RunRequest& request_, HostHooks& host, TreeWriter& writer_, CardSource& card_)
    : request(request_), writer(writer_), card(card_), running_number(request_.starting_number),
      started(std::time(nullptr)), m_host(host)
{
}

void Run::output(std::string_view text)
{
    if (m_holding)
        m_holding->push_back({HeldCall::Kind::text, std::string(text), 0});
    else
        m_host.output_text(text);
}

void Run::status(std::string_view text)
{
    if (m_holding)
        m_holding->push_back({HeldCall::Kind::status, std::string(text), 0});
    else
        m_host.progress_status(text);
}

void Run::range(int n)
{
    if (m_holding)
        m_holding->push_back({HeldCall::Kind::range, {}, n});
    else
        m_host.progress_range(n);
}

void Run::step()
{
    if (m_holding)
        m_holding->push_back({HeldCall::Kind::step, {}, 0});
    else
        m_host.progress_step();
}

void Run::tick()
{
    if (m_holding)
        m_holding->push_back({HeldCall::Kind::tick, {}, 0});
    else
        m_host.progress_tick();
}

void Run::diagnostic(std::string_view text)
{
    // One line per call: a text that ends its line already is not given an empty one.
    while (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    if (m_holding)
        m_holding->push_back({HeldCall::Kind::diagnostic, std::string(text), 0});
    else
        m_host.diagnostic(text);
}

void Run::file_record(const FileRecord& record)
{
    const bool failed = record.check == FileCheck::failed && !record.message.empty() &&
                        record.message != kNotPlacedMessage;
    if (failed)
        for (const std::string* copy : {&record.backup_path, &record.primary_path})
            if (!copy->empty())
                failed_copies.insert(*copy);
    m_host.file_record(record);
}

void Run::conversion_progress()
{
    int converted = raws_converted;
    if (!converting_into.empty())
        for (const std::string& name : posix::list_directory(converting_into))
            converted += is_dng_name(name) ? 1 : 0;
    converted = std::min(converted, raws_to_convert);
    if (converted == progress_shown)
        return;
    progress_shown = converted;
    m_host.conversion_progress(converted, raws_to_convert);
}

void Run::replay(const std::vector<HeldCall>& calls)
{
    for (const HeldCall& call : calls) {
        switch (call.kind) {
        case HeldCall::Kind::text: m_host.output_text(call.text); break;
        case HeldCall::Kind::status: m_host.progress_status(call.text); break;
        case HeldCall::Kind::range: m_host.progress_range(call.n); break;
        case HeldCall::Kind::step: m_host.progress_step(); break;
        case HeldCall::Kind::tick: m_host.progress_tick(); break;
        case HeldCall::Kind::diagnostic: m_host.diagnostic(call.text); break;
        }
    }
}

}  // namespace oakvane
