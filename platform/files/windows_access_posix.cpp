// On Linux, names are looked up component by component as Windows would
// find them; the read-only rule reads the permission bits.
#include "platform/files/windows_access.h"

#include "platform/files/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace platform::files {
namespace fs = std::filesystem;

namespace {

bool isFolder(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

bool entryExists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::string inQuotes(std::string_view name) {
    return '"' + std::string(name) + '"';
}

// The entry of `folder` that the Windows component `component` names.
std::optional<std::string> findComponent(const fs::path& folder, std::string_view component,
                                         bool mustBeFolder, const Note& note) {
    // "." and ".." stay what they are; any other component loses its
    // trailing dots and blanks, as Windows drops them.
    const std::string_view trimmed =
        component == "." || component == ".." ? component : keptComponent(component);
    if (trimmed.empty())
        return std::nullopt;
    const auto fits = [&](const fs::path& entry) { return !mustBeFolder || isFolder(entry); };
    for (std::string_view exact : {component, trimmed}) {
        if (entryExists(folder / exact) && fits(folder / exact))
            return std::string(exact);
    }
    if (trimmed == "." || trimmed == "..")
        return std::nullopt;

    std::vector<std::string> matches;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (sameWindowsFile(name, trimmed) && fits(it->path()))
            matches.push_back(std::move(name));
    }
    if (matches.empty())
        return std::nullopt;
    std::sort(matches.begin(), matches.end());
    if (matches.size() > 1 && note) {
        std::string names;
        for (const auto& match : matches) names += (names.empty() ? "" : ", ") + inQuotes(match);
        note(inQuotes(component) + " matches several names that differ only in letter case (" +
             names + "); using " + inQuotes(matches.front()));
    }
    return matches.front();
}

}  // namespace

std::optional<fs::path> findWindowsPath(const fs::path& folder, std::string_view name,
                                        const Note& note) {
    fs::path found = !name.empty() && name.front() == '/' ? fs::path("/") : folder;
    std::vector<std::string_view> components;
    for (std::size_t at = 0; at <= name.size();) {
        const std::size_t end = std::min(name.find_first_of("/\\", at), name.size());
        if (end > at)
            components.push_back(name.substr(at, end - at));
        at = end + 1;
    }
    if (components.empty())
        return std::nullopt;
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (components[i] == ".")
            continue;
        auto entry = findComponent(found, components[i], i + 1 < components.size(), note);
        if (!entry)
            return std::nullopt;
        found /= *entry;
    }
    return found;
}

Status checkWritableAsOnWindows(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return fileError("cannot open", path, errno);
    // Root may write any file on Linux; Windows refuses a read-only file to
    // everyone, so the permission bits alone decide here.
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return Error{utf8Name(path) + " is read-only", ErrorKind::ReadOnly, ErrorOrigin::None, 0,
                     "read-only"};
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        return fileError("cannot write", path, errno);
    return {};
}

}  // namespace platform::files
