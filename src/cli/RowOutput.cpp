#include "cli/RowOutput.h"

#include "engine/TextForms.h"
#include "platform/TextFile.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace tandrel::cli {

namespace {

using nlohmann::json;

// `key` when the text is UTF-8, otherwise `key`_bytes with the escaped bytes.
void PutText(json& object, const std::string& key, const std::string& text)
{
    if (platform::IsValidUtf8(text))
        object[key] = text;
    else
        object[key + "_bytes"] = EscapedBytes(text);
}

const char* KindName(engine::EntryKind kind)
{
    switch (kind) {
    case engine::EntryKind::Link: return "link";
    case engine::EntryKind::Fifo: return "fifo";
    case engine::EntryKind::Socket: return "socket";
    case engine::EntryKind::Device: return "device";
    case engine::EntryKind::Regular: break;
    }
    return "file";
}

const char* OutcomeName(RowOutcome outcome)
{
    switch (outcome) {
    case RowOutcome::Done: return "done";
    case RowOutcome::Failed: return "failed";
    case RowOutcome::NotDone: return "not done";
    case RowOutcome::DryRun: return "dry run";
    case RowOutcome::Listed: break;
    }
    return "";
}

bool HasCounterpart(engine::ResultCategory category)
{
    return category != engine::ResultCategory::NotInDestination && category != engine::ResultCategory::NotInSource;
}

} // namespace

RowOutput::RowOutput(std::ostream& out, RowFormat format, Command command, const engine::ResultStore& store)
    : m_out(out), m_format(format), m_command(command), m_store(store)
{
}

void RowOutput::Row(engine::ResultCategory category, const engine::CompareItem& item, RowOutcome outcome)
{
    if (m_format == RowFormat::NulPaths) {
        m_out << m_store.Path(category, item) << '\0';
        return;
    }
    if (m_format != RowFormat::JsonLines)
        return;
    const std::int64_t offset = m_store.LocalOffset();
    json row;
    row["type"] = "row";
    row["list"] = engine::Index(category);
    row["list_name"] = engine::DefaultCategoryCaptions()[engine::Index(category)];
    PutText(row, "path", item.relativePath);
    PutText(row, "full_path", m_store.Path(category, item));
    PutText(row, "other_path", m_store.TargetPath(category, item));
    row["kind"] = item.isFolder ? "folder" : KindName(item.kind);
    if (!item.isFolder)
        row["size"] = item.size;
    row["modified"] = IsoTime(item.modified, offset);
    if (HasCounterpart(category)) {
        row["other_size"] = item.counterpartSize;
        row["other_modified"] = IsoTime(item.counterpartModified, offset);
    }
    if (outcome != RowOutcome::Listed) {
        row["outcome"] = OutcomeName(outcome);
        if (outcome == RowOutcome::Failed)
            PutText(row, "error", item.StatusText());
    }
    m_out << row.dump() << '\n';
}

void RowOutput::Pair(const engine::FilePair& pair, const engine::ContentFinding& finding)
{
    if (m_format == RowFormat::NulPaths) {
        m_out << pair.source << '\0';
        return;
    }
    if (m_format != RowFormat::JsonLines)
        return;
    json row;
    row["type"] = "row";
    row["list"] = "verify";
    const std::string& root = m_store.SourceRoot();
    PutText(row, "path", pair.source.compare(0, root.size(), root) == 0 ? pair.source.substr(root.size()) : pair.source);
    PutText(row, "full_path", pair.source);
    PutText(row, "other_path", pair.destination);
    row["kind"] = KindName(pair.kind);
    if (pair.otherKind != pair.kind)
        row["other_kind"] = KindName(pair.otherKind);
    const std::int64_t offset = m_store.LocalOffset();
    row["size"] = pair.size;
    row["modified"] = IsoTime(pair.modified, offset);
    row["other_size"] = pair.otherSize;
    row["other_modified"] = IsoTime(pair.otherModified, offset);
    if (finding.verdict == engine::ContentVerdict::Unreadable) {
        row["outcome"] = "unreadable";
        PutText(row, "error", finding.error);
    } else {
        row["outcome"] = "different";
        row["offset"] = finding.offset;
    }
    m_out << row.dump() << '\n';
}

void RowOutput::Summary(const RunSummary& summary)
{
    if (m_format != RowFormat::JsonLines)
        return;
    json object;
    object["type"] = "summary";
    object["command"] = CommandName(m_command);
    if (m_command == Command::Verify) {
        object["pairs_checked"] = summary.pairsChecked;
        object["pairs_different"] = summary.pairsDifferent;
        object["pairs_unreadable"] = summary.pairsUnreadable;
    }
    json lists = json::array();
    for (const ListCounts& counts : summary.lists) {
        json list;
        list["list"] = engine::Index(counts.category);
        list["list_name"] = engine::DefaultCategoryCaptions()[engine::Index(counts.category)];
        list["rows"] = counts.total;
        if (m_command == Command::Copy || m_command == Command::Delete) {
            list["done"] = counts.done;
            list["failed"] = counts.failed;
        }
        lists.push_back(list);
    }
    object["lists"] = lists;
    object["not_compared"] = summary.notCompared;
    json patterns = json::array();
    if (summary.patterns)
        for (const engine::PathPattern& p : summary.patterns->Patterns()) {
            json pattern;
            PutText(pattern, "pattern", p.text);
            PutText(pattern, "origin", p.origin);
            pattern["left_out"] = p.leftOut;
            patterns.push_back(pattern);
        }
    object["patterns"] = patterns;
    PutText(object, "source", m_store.SourceRoot());
    PutText(object, "destination", m_store.DestinationRoot());
    if (m_command == Command::Copy || m_command == Command::Delete)
        object["dry_run"] = summary.dryRun;
    object["cancelled"] = summary.cancelled;
    m_out << object.dump() << '\n';
}

std::string IsoTime(std::int64_t epochSeconds, std::int64_t offset)
{
    engine::LocalFields f;
    if (!engine::ToLocalFields(epochSeconds, offset, f))
        return {};
    const std::int64_t minutes = (offset < 0 ? -offset : offset) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02d%c%02lld:%02lld", static_cast<long long>(f.year),
                  f.month, f.day, f.hour, f.minute, f.second, offset < 0 ? '-' : '+',
                  static_cast<long long>(minutes / 60), static_cast<long long>(minutes % 60));
    return text;
}

std::string EscapedBytes(const std::string& bytes)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (const unsigned char c : bytes) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            text += static_cast<char>(c);
        } else {
            text += '%';
            text += kHex[c >> 4];
            text += kHex[c & 15];
        }
    }
    return text;
}

} // namespace tandrel::cli
