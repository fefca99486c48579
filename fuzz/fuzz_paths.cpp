// Path rules: the separator and parent rules, the two paths of a result row,
// and the reach of an item below a root that copy and delete work through.
// No input reads out of bounds, and:
// - a path with one separator appended ends in exactly that one;
// - the parent of "parent/name" is "parent" (joining and splitting agree);
// - a row's path lies under its walked root and its counterpart under the
//   other root, with the same relative part;
// - an item is reached only when every level on its way below the root is a
//   real folder (no link, nothing that leads above the root), and then its
//   held folder is exactly that folder; a root given through a link is followed.

#include "FuzzCheck.h"

#include "engine/PathRules.h"
#include "engine/ResultStore.h"
#include "platform/FileOps.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace tandrel;
using engine::PathRules;
using fuzz::Fail;
using fuzz::Require;
using fuzz::RequireEqual;

namespace {

// A small tree to look for links in:
//   root/a/ (folder), root/a/b/ (folder), root/a/f (file), root/a/lb -> b,
//   root/l -> a, root/f (file), root/dl -> missing, and rootlink -> root.
std::string g_scratch;
std::string g_root; // ends in '/'

void MakeTree()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tandrel-fuzz-paths-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        Fail("cannot make a scratch folder");
    g_scratch = pattern;
    g_root = g_scratch + "/root/";
    const auto folder = [](const std::string& p) { Require(::mkdir(p.c_str(), 0700) == 0, "mkdir"); };
    const auto file = [](const std::string& p) {
        const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        Require(fd >= 0, "create file");
        ::close(fd);
    };
    const auto link = [](const char* to, const std::string& p) { Require(::symlink(to, p.c_str()) == 0, "symlink"); };
    folder(g_root);
    folder(g_root + "a");
    folder(g_root + "a/b");
    file(g_root + "a/f");
    file(g_root + "f");
    link("b", g_root + "a/lb");
    link("a", g_root + "l");
    link("missing", g_root + "dl");
    link("root", g_scratch + "/rootlink");
}

void RemoveTree()
{
    for (const char* p : {"root/a/lb", "root/a/f", "root/a/b", "root/a", "root/l", "root/f", "root/dl", "root",
                          "rootlink"}) {
        const std::string path = g_scratch + "/" + p;
        if (::unlink(path.c_str()) != 0)
            ::rmdir(path.c_str());
    }
    ::rmdir(g_scratch.c_str());
}

bool IsLink(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool IsFolderNoFollow(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

void CheckTrailingSeparator(const PathRules& rules, const std::string& path)
{
    const std::string with = rules.WithTrailingSeparator(path);
    Require(rules.EndsWithSeparator(with), "a separator was appended but the path does not end in one");
    // Where '\\' separates, a '/' the user typed ends a path as well.
    const bool endsInOne =
        !path.empty() && (path.back() == rules.separator || (rules.separator == '\\' && path.back() == '/'));
    Require(rules.EndsWithSeparator(path) == endsInOne, "EndsWithSeparator does not look at the last character");
    if (rules.EndsWithSeparator(path))
        RequireEqual(with, path, "a path that ends in a separator got another");
    else
        RequireEqual(with, path + rules.separator, "the separator was not appended once");
    RequireEqual(rules.WithTrailingSeparator(with), with, "appending a separator twice");
}

void CheckParent(const PathRules& rules, const std::string& path, const std::string& name)
{
    const std::string parent = rules.ParentFolder(path);
    const auto last = path.rfind(rules.separator);
    if (last == std::string::npos) {
        RequireEqual(parent, "", "the parent of a path without a separator");
    } else {
        RequireEqual(parent, path.substr(0, last), "the parent is the text before the last separator");
    }
    // Joining and splitting agree for any name without a separator.
    if (name.find(rules.separator) == std::string::npos)
        RequireEqual(rules.ParentFolder(path + rules.separator + name), path, "the parent of parent/name");
}

// The two paths of a row made of scanner names lie under their roots.
void CheckRowPaths(const std::string& sourceRoot, const std::string& destinationRoot, const std::string& relative)
{
    engine::ResultStore store;
    store.Reset(sourceRoot, destinationRoot, 0);
    engine::CompareItem item;
    item.relativePath = relative;
    for (const auto category : engine::kAllCategories) {
        const std::string path = store.Path(category, item);
        const std::string target = store.TargetPath(category, item);
        const std::string& walked = store.WalkedRoot(category);
        const std::string& other = store.OtherRoot(category);
        Require(StartsWith(path, walked), "a row's path is not under its walked root");
        Require(StartsWith(target, other), "a row's counterpart is not under the other root");
        RequireEqual(path.substr(walked.size()), target.substr(other.size()), "relative parts of a row's two paths");
        Require(&walked == (category == engine::ResultCategory::NotInSource ? &store.DestinationRoot()
                                                                             : &store.SourceRoot()),
                "list 4 is walked on the destination side, the others on the source side");
        // The folder a copy writes into lies under the other root, or is it.
        const std::string parent = PathRules::Native().ParentFolder(target);
        Require(StartsWith(parent + "/", other), "the parent of a counterpart is above the other root");
    }
}

// What reaching `relative` below the root must give, found by walking its
// names one by one: false when a level on the way is empty, ".", "..", a link
// or anything but a real folder; otherwise the folder that holds the item.
bool ReferenceReach(const std::string& relative, std::string& holder)
{
    std::string trimmed = relative;
    while (!trimmed.empty() && trimmed.back() == '/')
        trimmed.pop_back();
    holder = g_root.substr(0, g_root.size() - 1);
    std::size_t begin = 0;
    for (;;) {
        const std::size_t end = trimmed.find('/', begin);
        const std::string level = trimmed.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        if (level.empty() || level == "." || level == "..")
            return false;
        if (end == std::string::npos)
            return true;
        holder += "/" + level;
        if (IsLink(holder) || !IsFolderNoFollow(holder))
            return false;
        begin = end + 1;
    }
}

bool SameFile(int fd, const std::string& path)
{
    struct stat held;
    struct stat named;
    return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

void CheckReach(const std::string& relative)
{
    std::string holder;
    const bool reachable = ReferenceReach(relative, holder);
    for (const std::string& root : {g_root, g_root.substr(0, g_root.size() - 1), g_scratch + "/rootlink/"}) {
        platform::ItemAt item;
        const platform::FileResult reached = platform::ReachItem(root, relative, false, "Cannot reach", item);
        if (!reachable) {
            Require(!reached.ok(), "an item was reached through a link, a non-folder or a step out of the root");
            Require(reached.error.rfind("Cannot reach '", 0) == 0, "a refused reach does not say what failed");
            continue;
        }
        Require(reached.ok(), "an item below real folders was not reached");
        Require(SameFile(item.folder.Fd(), holder), "the reach holds another folder than the item's own");
        Require(!item.name.empty() && item.name.find('/') == std::string::npos, "the reached name is not one level");
    }
}

// Names as the scanner meets them: never empty, never "." or "..", no '/' and
// no NUL. Some are the names of the scratch tree, so that links are met.
std::string ScannerName(FuzzedDataProvider& input)
{
    static const char* const kTreeNames[] = {"a", "b", "f", "l", "lb", "dl", "x"};
    if (input.ConsumeBool())
        return kTreeNames[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kTreeNames) - 1)];
    std::string name = input.ConsumeRandomLengthString(24);
    for (char& c : name) {
        if (c == '/' || c == '\0')
            c = '_';
    }
    if (name.empty() || name == "." || name == "..")
        name = "n" + name;
    return name;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    MakeTree();
    std::atexit(RemoveTree);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string raw = input.ConsumeRandomLengthString(512);
    const std::string name = input.ConsumeRandomLengthString(32);

    // Any text, under both sets of rules.
    for (const PathRules& rules : {PathRules::Native(), PathRules::DriveLetters()}) {
        CheckTrailingSeparator(rules, raw);
        CheckParent(rules, raw, name);
    }

    // Rows made of scanner names under two roots.
    const PathRules native = PathRules::Native();
    const std::string sourceRoot = native.WithTrailingSeparator("/" + input.ConsumeRandomLengthString(32));
    const std::string destinationRoot = native.WithTrailingSeparator("/" + input.ConsumeRandomLengthString(32));
    std::string relative = ScannerName(input);
    const std::size_t depth = input.ConsumeIntegralInRange<std::size_t>(0, 6);
    for (std::size_t i = 0; i < depth; ++i)
        relative += "/" + ScannerName(input);
    CheckRowPaths(sourceRoot, destinationRoot, relative);

    // The reach, on scanner paths and on raw text below the root.
    CheckReach(relative);
    CheckReach(relative + "/");
    CheckReach(raw.substr(0, raw.find('\0')));
    return 0;
}
