#pragma once

#include "platform/remote/LoopbackSshd.h"

#include "engine/ResultStore.h"
#include "engine/RunFlag.h"
#include "platform/FileOps.h"
#include "platform/remote/RemoteSides.h"
#include "settings/CompareOptions.h"
#include "sync/SyncObserver.h"
#include "sync/SyncOperations.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tandrel::sync {

// Everything a run tells its front end, and a hook into its event passes.
class RemoteRecorder : public SyncObserver {
public:
    int pumps = 0;
    std::function<void(int pump)> onPump;
    std::vector<std::string> failures;
    std::vector<std::string> shown;
    std::vector<std::string> started;

    void PumpEvents() override
    {
        if (onPump)
            onPump(pumps);
        ++pumps;
    }
    void RowStarted(std::size_t, std::size_t, const std::string& path) override { started.push_back(path); }
    void RowFailed(engine::ResultCategory, std::size_t, const std::string& text) override { failures.push_back(text); }
    void ShowFailure(const std::string& text) override { shown.push_back(text); }
};

// A local folder "s" and a folder "d" on the loopback server (owned by its
// login user, on this machine's disk), with a store whose source root is
// the local folder and whose destination root is the remote one as typed.
class RemoteRowsTest : public test::LoopbackSshdTest {
protected:

    void SetUp() override
    {
        LoopbackSshdTest::SetUp();
        if (IsSkipped())
            return;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->name());
        for (char& c : name)
            if (c == '/')
                c = '_';
        m_base = s_sshd->Folder() + "/" + name;
        ASSERT_EQ(::mkdir(m_base.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(Local("").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(Server("").c_str(), 0755), 0);
        s_sshd->GiveToUser(m_base);
        sides.SetOptions(s_sshd->Options());
        m_remoteRoot = s_sshd->Side(m_base + "/d").ToText() + "/";
        store.Reset(m_base + "/s/", m_remoteRoot, 0);
    }

    // Paths on this machine's disk: the local side, and the server's side as the server keeps it.
    std::string Local(const std::string& relative) const { return m_base + "/s/" + relative; }
    std::string Server(const std::string& relative) const { return m_base + "/d/" + relative; }
    const std::string& RemoteRoot() const { return m_remoteRoot; }

    static void Write(const std::string& path, const std::string& content, std::int64_t mtime = 1500000000,
                      unsigned mode = 0644)
    {
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out << content;
        }
        ::chmod(path.c_str(), mode);
        SetTime(path, mtime);
        s_sshd->GiveToUser(path);
    }
    static void SetTime(const std::string& path, std::int64_t mtime)
    {
        const struct timespec times[2] = {{static_cast<time_t>(mtime), 0}, {static_cast<time_t>(mtime), 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }
    static struct stat Stat(const std::string& path)
    {
        struct stat st {};
        ::lstat(path.c_str(), &st);
        return st;
    }

    void Add(engine::ResultCategory category, const std::string& relative, bool folder = false)
    {
        engine::CompareItem item;
        item.relativePath = relative;
        item.isFolder = folder;
        item.icon = folder ? engine::RowIcon::Folder : engine::RowIcon::File;
        item.checked = true;
        store.AddResultRow(category, std::move(item));
    }

    // The sizes and times a comparison would list now for the rows of `category`.
    void ListAsCompared(engine::ResultCategory category)
    {
        const bool walksDestination = category == engine::ResultCategory::NotInSource;
        const bool paired = category != engine::ResultCategory::NotInDestination && !walksDestination;
        for (std::size_t k = 0; k < store.Count(category); ++k) {
            engine::CompareItem& row = store.Row(category, k);
            const std::string& relative = row.relativePath;
            const platform::EntryInfo walked = platform::LookUp(walksDestination ? Server(relative) : Local(relative));
            row.size = row.isFolder ? 0 : walked.size;
            row.modified = walked.mtime;
            if (paired) {
                const platform::EntryInfo other = platform::LookUp(Server(relative));
                row.counterpartSize = other.kind == platform::EntryKind::Folder ? 0 : other.size;
                row.counterpartModified = other.mtime;
            }
        }
    }

    SyncOutcome Copy(engine::ResultCategory category, CopyDirection direction = CopyDirection::SourceToDestination,
                     const CopyChoices& choices = {})
    {
        return CopyCheckedRows(store, category, direction, options, runFlag, progressFraction, recorder, nullptr,
                               choices, &sides);
    }
    SyncOutcome Delete(engine::ResultCategory category, DeleteTarget target = DeleteTarget::Remove)
    {
        return DeleteCheckedRows(store, category, options, runFlag, progressFraction, recorder, target, &sides);
    }

    static int TemporariesIn(const std::string& folder)
    {
        int count = 0;
        for (const auto& name : Names(folder))
            count += name.rfind(platform::kTempFilePrefix, 0) == 0;
        return count;
    }
    static std::vector<std::string> Names(const std::string& folder);

    engine::ResultStore store;
    engine::RunFlag runFlag;
    settings::CompareOptions options = settings::CompareOptions::Defaults();
    double progressFraction = 0;
    RemoteRecorder recorder;
    platform::remote::RemoteSides sides;

private:
    std::string m_base;
    std::string m_remoteRoot;
};

} // namespace tandrel::sync
